#include "audio/audio_header.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace {

// Enough for the WAV headers and the MP3 tag frames met in practice.
constexpr std::size_t kHeadBytes = 64 * 1024;

std::uint32_t Little32(std::span<const std::uint8_t> b, std::size_t at)
{
    return b[at] | (std::uint32_t{b[at + 1]} << 8) | (std::uint32_t{b[at + 2]} << 16) |
           (std::uint32_t{b[at + 3]} << 24);
}

std::uint16_t Little16(std::span<const std::uint8_t> b, std::size_t at)
{
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::uint32_t Big32(std::span<const std::uint8_t> b, std::size_t at)
{
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) | (std::uint32_t{b[at + 2]} << 8) |
           b[at + 3];
}

bool TagAt(std::span<const std::uint8_t> b, std::size_t at, const char (&tag)[5])
{
    return at + 4 <= b.size() && std::equal(tag, tag + 4, b.begin() + static_cast<std::ptrdiff_t>(at));
}

std::optional<FileLayout> ProbeWav(std::span<const std::uint8_t> head, std::uint64_t fileSize)
{
    if (!TagAt(head, 0, "RIFF") || !TagAt(head, 8, "WAVE")) {
        return std::nullopt;
    }
    std::optional<PcmFormat> format;
    std::size_t at = 12;
    while (at + 8 <= head.size()) {
        const std::uint32_t size = Little32(head, at + 4);
        const std::size_t body = at + 8;
        if (TagAt(head, at, "fmt ")) {
            // Plain PCM only: other encodings are converted by the decoder, whose length we cannot foretell.
            if (size < 16 || body + 16 > head.size() || Little16(head, body) != 1 || Little16(head, body + 14) != 16) {
                return std::nullopt;
            }
            const PcmFormat f{.sampleRate = Little32(head, body + 4), .channels = Little16(head, body + 2)};
            if (!f.IsValid() || f.sampleRate > 1'000'000 || f.channels > 32 ||
                Little16(head, body + 12) != f.BlockAlign()) {
                return std::nullopt;
            }
            format = f;
        } else if (TagAt(head, at, "data")) {
            if (!format) {
                return std::nullopt;
            }
            // A cut file plays what it holds.
            const std::uint64_t present = fileSize > body ? fileSize - body : 0;
            std::uint64_t bytes = std::min<std::uint64_t>(size, present);
            bytes -= bytes % format->BlockAlign();
            if (bytes == 0) {
                return std::nullopt;
            }
            return FileLayout{.container = Container::Wav,
                              .info = {.format = *format, .lengthBytes = bytes},
                              .dataOffset = body,
                              .dataBytes = bytes};
        }
        at = body + size + (size & 1);
    }
    return std::nullopt;
}

// Every layer III decoder's synthesis filter bank delays its output by this many frames.
constexpr std::uint64_t kMp3DecoderDelay = 529;

// A layer III frame's length in bytes is this many times its bit rate over its sample rate.
std::uint64_t SlotsPerBitRate(int version)
{
    return version == 3 ? 144 : 72;
}

// What the four bytes at the start of an MPEG audio frame of layer III say.
struct Mp3FrameHeader {
    int version = 0;  // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
    bool crc = false;
    bool mono = false;
    std::uint32_t rate = 0;
    std::uint32_t bitRate = 0;  // bits a second
    bool padded = false;
    std::uint64_t frameBytes = 0;

    bool SameStream(const Mp3FrameHeader& other) const
    {
        return version == other.version && mono == other.mono && rate == other.rate;
    }
};

std::optional<Mp3FrameHeader> ReadMp3FrameHeader(std::span<const std::uint8_t> frame)
{
    if (frame.size() < 4 || frame[0] != 0xFF || (frame[1] & 0xE0) != 0xE0) {
        return std::nullopt;
    }
    const int version = (frame[1] >> 3) & 3;
    const int layer = (frame[1] >> 1) & 3;  // 1: Layer III
    const int bitrateIndex = frame[2] >> 4;
    const int rateIndex = (frame[2] >> 2) & 3;
    if (version == 1 || layer != 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) {
        return std::nullopt;
    }
    constexpr std::uint32_t kRates[] = {44100, 48000, 32000};
    constexpr std::uint32_t kMpeg1Kbps[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    constexpr std::uint32_t kMpeg2Kbps[] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    const std::uint32_t rate = kRates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    const std::uint32_t bitRate = 1000 * (version == 3 ? kMpeg1Kbps[bitrateIndex] : kMpeg2Kbps[bitrateIndex]);
    const bool padded = ((frame[2] >> 1) & 1) != 0;
    return Mp3FrameHeader{.version = version,
                          .crc = (frame[1] & 1) == 0,
                          .mono = (frame[3] >> 6) == 3,
                          .rate = rate,
                          .bitRate = bitRate,
                          .padded = padded,
                          .frameBytes = SlotsPerBitRate(version) * bitRate / rate + (padded ? 1 : 0)};
}

// What the decoder is told: from the music's first frame where the head holds
// it, else from the tag frame, which belongs to the same stream. A file whose
// rate varies ("Xing") and that states its size in bytes gets its average rate
// (a stated size of 0 is no size).
Mp3StreamFormat DescribeMp3Stream(const Mp3FrameHeader& first, std::uint64_t codedSamples, std::uint64_t delay,
                                  std::optional<std::uint32_t> variableRateBytes)
{
    std::uint64_t bytesPerSecond = first.bitRate / 8;
    if (variableRateBytes.value_or(0) > 0 && codedSamples > 0) {
        bytesPerSecond = std::uint64_t{*variableRateBytes} * first.rate / codedSamples;
    }
    Mp3Padding padding = Mp3Padding::Iso;
    if (SlotsPerBitRate(first.version) * first.bitRate % first.rate == 0) {
        padding = first.padded ? Mp3Padding::Always : Mp3Padding::Never;
    }
    return {.bytesPerSecond = static_cast<std::uint32_t>(
                std::min<std::uint64_t>(bytesPerSecond, std::numeric_limits<std::uint32_t>::max())),
            .frameBytes = static_cast<std::uint16_t>(first.frameBytes),
            .padding = padding,
            .codecDelay = static_cast<std::uint16_t>(delay)};
}

std::optional<FileLayout> ProbeMp3(std::span<const std::uint8_t> frame, std::uint64_t offset, std::uint64_t bytesInFile)
{
    const std::optional<Mp3FrameHeader> header = ReadMp3FrameHeader(frame);
    if (!header) {
        return std::nullopt;
    }
    const int version = header->version;
    const bool mono = header->mono;
    const std::uint32_t rate = header->rate;
    const std::uint64_t frameBytes = header->frameBytes;
    const std::uint64_t samplesPerFrame = version == 3 ? 1152 : 576;
    const std::size_t sideInfo = version == 3 ? (mono ? 17 : 32) : (mono ? 9 : 17);

    // The first frame carries the encoder's tag: frame count, then LAME's delay and padding.
    std::size_t at = 4 + (header->crc ? 2 : 0) + sideInfo;
    const bool variableRate = TagAt(frame, at, "Xing");
    if (!variableRate && !TagAt(frame, at, "Info")) {
        return std::nullopt;
    }
    if (at + 8 > frame.size()) {
        return std::nullopt;
    }
    const std::uint32_t flags = Big32(frame, at + 4);
    if ((flags & 1) == 0) {
        return std::nullopt;
    }
    at += 8;
    const std::uint32_t frames = at + 4 <= frame.size() ? Big32(frame, at) : 0;
    std::optional<std::uint32_t> streamBytes;
    if (variableRate && (flags & 2) != 0 && at + 8 <= frame.size()) {
        streamBytes = Big32(frame, at + 4);
    }
    at += 4 + ((flags & 2) != 0 ? 4 : 0) + ((flags & 4) != 0 ? 100 : 0) + ((flags & 8) != 0 ? 4 : 0);
    if (at + 24 > frame.size() || !(TagAt(frame, at, "LAME") || TagAt(frame, at, "Lavc") || TagAt(frame, at, "Lavf"))) {
        return std::nullopt;
    }
    const std::uint64_t delay = (std::uint64_t{frame[at + 21]} << 4) | (frame[at + 22] >> 4);
    const std::uint64_t padding = (std::uint64_t{frame[at + 22] & 0x0Fu} << 8) | frame[at + 23];
    const std::uint64_t coded = std::uint64_t{frames} * samplesPerFrame;
    // No real frame is shorter than 24 bytes: a larger count is a corrupt tag.
    if (frames == 0 || frames > bytesInFile / 24 || delay + padding >= coded || frameBytes >= bytesInFile) {
        return std::nullopt;
    }
    // The music's first frame, where the head reaches it, belongs to the same
    // stream: a tag before anything else promises sound that is not there.
    std::optional<Mp3FrameHeader> first = header;
    if (frame.size() >= frameBytes + 4) {
        first = ReadMp3FrameHeader(frame.subspan(frameBytes));
        if (!first || !first->SameStream(*header)) {
            return std::nullopt;
        }
    }
    const PcmFormat format{.sampleRate = rate, .channels = static_cast<std::uint16_t>(mono ? 1 : 2)};
    return FileLayout{.container = Container::Mp3,
                      .info = {.format = format, .lengthBytes = (coded - delay - padding) * format.BlockAlign()},
                      .dataOffset = offset + frameBytes,
                      .dataBytes = bytesInFile - frameBytes,
                      .skipFrames = delay + kMp3DecoderDelay,
                      .mp3 = DescribeMp3Stream(*first, coded, delay, streamBytes)};
}

}  // namespace

std::uint64_t Id3TagBytes(std::span<const std::uint8_t> head)
{
    if (head.size() < 10 || !std::equal(head.begin(), head.begin() + 3, "ID3") ||
        ((head[6] | head[7] | head[8] | head[9]) & 0x80) != 0) {
        return 0;
    }
    const std::uint64_t size =
        (std::uint64_t{head[6]} << 21) | (std::uint64_t{head[7]} << 14) | (head[8] << 7) | head[9];
    const bool footer = (head[5] & 0x10) != 0;
    return 10 + size + (footer ? 10 : 0);
}

std::optional<FileLayout> ProbeAudioHeader(std::span<const std::uint8_t> head, std::uint64_t offset,
                                           std::uint64_t fileSize)
{
    if (offset == 0) {
        if (auto wav = ProbeWav(head, fileSize)) {
            return wav;
        }
    }
    return ProbeMp3(head, offset, fileSize > offset ? fileSize - offset : 0);
}

std::optional<FileLayout> ProbeAudioHead(const HeadReader& readHead, std::uint64_t fileSize)
{
    std::vector<std::uint8_t> head = readHead(0, kHeadBytes);
    std::optional<FileLayout> info = ProbeAudioHeader(head, 0, fileSize);
    const std::uint64_t tag = Id3TagBytes(head);
    if (!info && tag > 0 && tag < fileSize) {
        head = readHead(tag, kHeadBytes);
        info = ProbeAudioHeader(head, tag, fileSize);
    }
    return info;
}
