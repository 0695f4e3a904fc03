#include "audio/audio_file_probe.h"
#include "audio/file_sources.h"
#include "audio/mta_thread.h"
#include "audio/readable_file.h"
#include "audio/whole_file_decoder.h"
#include "tests/audio/audio_files.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace {

TEST(WholeFileDecoder, DecodesWavSamplesExactlyInTheirOwnFormat)
{
    struct Case {
        std::uint32_t rate;
        std::uint16_t channels;
    };
    for (const Case c : {Case{44100, 2}, Case{22050, 1}}) {
        const std::vector<std::uint8_t> wav = MakeWav(c.rate, c.channels, c.rate / 4);
        const std::wstring path = AudioFilePath(L"exact-" + std::to_wstring(c.rate) + L".wav");
        ASSERT_TRUE(WriteFileBytes(path, wav));

        PcmAudio audio;
        ASSERT_TRUE(DecodeAudioFile(path, audio)) << c.rate;
        EXPECT_EQ(audio.format.sampleRate, c.rate);
        EXPECT_EQ(audio.format.channels, c.channels);
        EXPECT_EQ(audio.bytes, WavSamples(wav)) << c.rate;
    }
}

TEST(WholeFileDecoder, DecodesTheCommittedMusicToTheLengthItsHeaderStates)
{
    PcmAudio audio;
    ASSERT_TRUE(DecodeAudioFile(L"music.mp3", audio));
    EXPECT_EQ(audio.format.sampleRate, 44100u);
    EXPECT_EQ(audio.format.channels, 2u);
    EXPECT_EQ(audio.bytes.size(), 64u * audio.format.BytesPerSecond());

    const std::optional<FileLayout> layout = ProbeAudioFile(ResolveReadableFile(L"music.mp3"));
    ASSERT_TRUE(layout.has_value());
    EXPECT_EQ(layout->info.format, audio.format);
    EXPECT_EQ(layout->info.lengthBytes, audio.bytes.size());

    // Streamed through the MP3 decoder object, with the encoder's and the
    // decoder's delay taken off: the same samples at the same places.
    std::vector<std::uint8_t> streamed;
    ASSERT_TRUE(RunOnMtaThread([&] {
        const std::unique_ptr<PcmSource> source = OpenFileSource(ResolveReadableFile(L"music.mp3"), *layout).source;
        if (!source) {
            return false;
        }
        std::vector<std::uint8_t> chunk;
        ReadResult result = ReadResult::Data;
        while ((result = source->Read(chunk)) == ReadResult::Data) {
            streamed.insert(streamed.end(), chunk.begin(), chunk.end());
        }
        return result == ReadResult::End;
    }));
    ASSERT_EQ(streamed.size(), audio.bytes.size());
    int worst = 0;
    for (std::size_t i = 0; i + 1 < streamed.size(); i += 2) {
        const auto sample = [](const std::vector<std::uint8_t>& b, std::size_t at) {
            return static_cast<int>(static_cast<std::int16_t>(b[at] | (b[at + 1] << 8)));
        };
        worst = std::max(worst, std::abs(sample(streamed, i) - sample(audio.bytes, i)));
    }
    EXPECT_LE(worst, 2);
}

TEST(WholeFileDecoder, RejectsWhatIsNotDecodableSound)
{
    const std::wstring empty = AudioFilePath(L"empty.wav");
    ASSERT_TRUE(WriteFileBytes(empty, {}));
    const std::string text = "This is not a sound file, only some text.\r\n";
    const std::wstring textFile = AudioFilePath(L"text.mp3");
    ASSERT_TRUE(WriteFileBytes(textFile, {text.begin(), text.end()}));
    std::vector<std::uint8_t> header = MakeWav(44100, 2, 1000);
    header.resize(30);  // cut inside the format chunk
    const std::wstring cutHeader = AudioFilePath(L"cut-header.wav");
    ASSERT_TRUE(WriteFileBytes(cutHeader, header));

    for (const std::wstring& path : {std::wstring(L"audio-files\\no-such-file.mp3"), std::wstring(), empty, textFile,
                                     cutHeader, std::wstring(L"audio-files")}) {
        PcmAudio audio;
        audio.format.sampleRate = 1;
        EXPECT_FALSE(DecodeAudioFile(path, audio)) << path;
        EXPECT_FALSE(audio.IsValid());
        EXPECT_TRUE(audio.bytes.empty());
    }
}

TEST(WholeFileDecoder, PlaysWhatIsLeftOfAFileCutInItsSamples)
{
    std::vector<std::uint8_t> wav = MakeWav(44100, 2, 4410);
    wav.resize(wav.size() / 2 + 1);  // the header still announces all samples
    const std::wstring path = AudioFilePath(L"cut-samples.wav");
    ASSERT_TRUE(WriteFileBytes(path, wav));

    PcmAudio audio;
    ASSERT_TRUE(DecodeAudioFile(path, audio));
    const std::vector<std::uint8_t> present = WavSamples(wav);
    ASSERT_GT(audio.bytes.size(), 0u);
    ASSERT_LE(audio.bytes.size(), present.size());
    EXPECT_EQ(audio.bytes.size() % audio.format.BlockAlign(), 0u);
    EXPECT_TRUE(std::equal(audio.bytes.begin(), audio.bytes.end(), present.begin()));
}

TEST(WholeFileDecoder, RefusesMoreThanTheSizeLimit)
{
    const std::wstring path = WriteToneWav(L"limit.wav", 44100, 2, 0.5);
    PcmAudio audio;
    EXPECT_FALSE(DecodeAudioFile(path, audio, 44100));
    EXPECT_TRUE(audio.bytes.empty());
    EXPECT_TRUE(DecodeAudioFile(path, audio, 88200));
}

// How the first frame of a LAME-encoded MP3 begins: by default MPEG-1 Layer
// III, 128 kbit/s, 44.1 kHz, no padding, and the tag of a constant rate.
struct Mp3Head {
    std::uint8_t version = 0xFB;  // the second byte: MPEG-1 Layer III, no CRC
    std::uint8_t rates = 0x90;    // the third: bit rate, sample rate, padding
    const char* tag = "Info";     // "Xing" where the rate varies
    std::uint32_t streamBytes = 0;
    std::size_t frameBytes = 417;  // what the bytes above make of it
};

// That frame with the tag stating `frames` frames, the stream's bytes and
// the encoder's delay and padding.
std::vector<std::uint8_t> Mp3TagFrame(bool mono, std::uint32_t frames, std::uint32_t delay, std::uint32_t padding,
                                      const Mp3Head& head = {})
{
    std::vector<std::uint8_t> frame(head.frameBytes, 0);
    frame[0] = 0xFF;
    frame[1] = head.version;
    frame[2] = head.rates;
    frame[3] = mono ? 0xC4 : 0x44;
    const bool mpeg1 = (head.version & 0x18) == 0x18;
    std::size_t at = 4 + (mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17));
    const auto put = [&](std::initializer_list<std::uint8_t> bytes) {
        for (const std::uint8_t b : bytes) {
            frame[at++] = b;
        }
    };
    const auto put32 = [&](std::uint32_t value) {
        put({static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
             static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)});
    };
    put({static_cast<std::uint8_t>(head.tag[0]), static_cast<std::uint8_t>(head.tag[1]),
         static_cast<std::uint8_t>(head.tag[2]), static_cast<std::uint8_t>(head.tag[3]), 0, 0, 0, 0x0F});
    put32(frames);
    put32(head.streamBytes);
    at += 100 + 4;  // seek table, quality
    put({'L', 'A', 'M', 'E', '3', '.', '1', '0', '0'});
    at += 12;
    put({static_cast<std::uint8_t>(delay >> 4), static_cast<std::uint8_t>((delay & 0x0F) << 4 | padding >> 8),
         static_cast<std::uint8_t>(padding)});
    return frame;
}

TEST(AudioFileProbe, ReadsExactLengthsFromHeadersAndDistrustsAbsurdOnes)
{
    // WAV: the data chunk's size, but never more than the file holds.
    const std::vector<std::uint8_t> wav = MakeWav(22050, 1, 1000);
    EXPECT_EQ(ProbeAudioHeader(wav, 0, wav.size())->info.lengthBytes, 2000u);
    EXPECT_EQ(ProbeAudioHeader(wav, 0, wav.size())->info.format, (PcmFormat{.sampleRate = 22050, .channels = 1}));
    EXPECT_EQ(ProbeAudioHeader(wav, 0, 44 + 999)->info.lengthBytes, 998u);
    std::vector<std::uint8_t> huge = wav;
    huge[40] = huge[41] = huge[42] = huge[43] = 0xFF;  // a data chunk of 4 GiB
    EXPECT_EQ(ProbeAudioHeader(huge, 0, huge.size())->info.lengthBytes, 2000u);
    std::vector<std::uint8_t> floats = wav;
    floats[20] = 3;  // not plain PCM: left to the decoder
    EXPECT_FALSE(ProbeAudioHeader(floats, 0, floats.size()).has_value());
    EXPECT_FALSE(ProbeAudioHeader(std::span(wav).first(36), 0, wav.size()).has_value());

    // MP3: frames times 1152, less the encoder's delay and padding.
    const std::vector<std::uint8_t> stereo = Mp3TagFrame(false, 2451, 576, 576);
    const std::optional<FileLayout> music = ProbeAudioHeader(stereo, 133, 1'025'095);
    ASSERT_TRUE(music.has_value());
    EXPECT_EQ(music->info.format, (PcmFormat{.sampleRate = 44100, .channels = 2}));
    EXPECT_EQ(music->dataOffset, 133u + 417);  // the frame after the tag
    EXPECT_EQ(music->skipFrames, 576u + 529);
    EXPECT_EQ(music->info.lengthBytes, 2'822'400u * 4);
    EXPECT_EQ(ProbeAudioHeader(Mp3TagFrame(true, 10, 576, 100), 0, 4000)->info.lengthBytes, (11520u - 676) * 2);
    // More frames than the file could hold, or more trimmed than coded.
    EXPECT_FALSE(ProbeAudioHeader(Mp3TagFrame(false, 0xFFFFFFFF, 576, 576), 0, 1'000'000).has_value());
    EXPECT_FALSE(ProbeAudioHeader(Mp3TagFrame(false, 1, 4095, 4095), 0, 1'000).has_value());
    std::vector<std::uint8_t> noTag = stereo;
    noTag[36] = 'X';
    EXPECT_FALSE(ProbeAudioHeader(noTag, 0, 1'000'000).has_value());
    // Where the head holds what follows the tag frame, it is a frame of the same stream.
    std::vector<std::uint8_t> followed = stereo;
    const std::vector<std::uint8_t> next = Mp3TagFrame(false, 1, 0, 0);
    followed.insert(followed.end(), next.begin(), next.begin() + 4);
    EXPECT_TRUE(ProbeAudioHeader(followed, 133, 1'025'095).has_value());
    followed[417 + 3] = 0xC4;  // mono
    EXPECT_FALSE(ProbeAudioHeader(followed, 133, 1'025'095).has_value());
    followed[417] = 0;
    EXPECT_FALSE(ProbeAudioHeader(followed, 133, 1'025'095).has_value());

    // What the decoder is told, from the first frame's header: the byte rate
    // (over the whole file where the rate varies), the frame's length with
    // its padding byte, how the stream pads, and the encoder's delay.
    struct StreamCase {
        const char* name;
        Mp3Head head;
        Mp3StreamFormat expected;
    };
    for (const StreamCase c : {
             StreamCase{"MPEG-1, 44.1 kHz", {}, {16000, 417, Mp3Padding::Iso, 576}},
             StreamCase{
                 "MPEG-1, 44.1 kHz, padded", {.rates = 0x92, .frameBytes = 418}, {16000, 418, Mp3Padding::Iso, 576}},
             StreamCase{"MPEG-1, 48 kHz", {.rates = 0x94, .frameBytes = 384}, {16000, 384, Mp3Padding::Never, 576}},
             StreamCase{
                 "MPEG-1, 48 kHz, padded", {.rates = 0x96, .frameBytes = 385}, {16000, 385, Mp3Padding::Always, 576}},
             StreamCase{"MPEG-2, 22.05 kHz, 64 kbit/s",
                        {.version = 0xF3, .rates = 0x80, .frameBytes = 208},
                        {8000, 208, Mp3Padding::Iso, 576}},
             StreamCase{"variable rate", {.tag = "Xing", .streamBytes = 1'025'000}, {16009, 417, Mp3Padding::Iso, 576}},
             StreamCase{"variable rate, no size", {.tag = "Xing"}, {16000, 417, Mp3Padding::Iso, 576}},
         }) {
        const std::optional<FileLayout> layout =
            ProbeAudioHeader(Mp3TagFrame(false, 2451, 576, 576, c.head), 0, 1'025'095);
        ASSERT_TRUE(layout.has_value()) << c.name;
        EXPECT_EQ(layout->mp3.bytesPerSecond, c.expected.bytesPerSecond) << c.name;
        EXPECT_EQ(layout->mp3.frameBytes, c.expected.frameBytes) << c.name;
        EXPECT_EQ(layout->mp3.padding, c.expected.padding) << c.name;
        EXPECT_EQ(layout->mp3.codecDelay, c.expected.codecDelay) << c.name;
    }
    // The music's first frame, not the tag frame, where the two pad differently.
    std::vector<std::uint8_t> padded = Mp3TagFrame(false, 2451, 576, 576, {.rates = 0x94, .frameBytes = 384});
    const std::vector<std::uint8_t> musicFrame = Mp3TagFrame(false, 1, 0, 0, {.rates = 0x96, .frameBytes = 385});
    padded.insert(padded.end(), musicFrame.begin(), musicFrame.begin() + 4);
    const std::optional<FileLayout> firstMusic = ProbeAudioHeader(padded, 0, 1'025'095);
    ASSERT_TRUE(firstMusic.has_value());
    EXPECT_EQ(firstMusic->mp3.frameBytes, 385u);
    EXPECT_EQ(firstMusic->mp3.padding, Mp3Padding::Always);

    // ID3v2 sizes are seven bits a byte.
    const std::vector<std::uint8_t> id3 = {'I', 'D', '3', 3, 0, 0, 0, 0, 1, 0x7F};
    EXPECT_EQ(Id3TagBytes(id3), 10u + 128 + 127);
    EXPECT_EQ(Id3TagBytes(std::span(id3).first(9)), 0u);

    // The probe reads on past an ID3v2 tag, and past its footer when it has
    // one (a copy of the header, "3DI"), but not past the file's end.
    for (const bool footer : {false, true}) {
        const std::uint8_t flags = footer ? 0x10 : 0;
        std::vector<std::uint8_t> tagged = {'I', 'D', '3', 4, 0, flags, 0, 0, 0, 20};
        tagged.resize(footer ? 40 : 30);
        if (footer) {
            std::copy_n(tagged.begin(), 10, tagged.begin() + 30);
            std::copy_n("3DI", 3, tagged.begin() + 30);
        }
        const std::size_t tagBytes = tagged.size();
        const std::vector<std::uint8_t> frame = Mp3TagFrame(true, 10, 576, 100);
        tagged.insert(tagged.end(), frame.begin(), frame.end());
        const HeadReader read = [&](std::uint64_t offset, std::size_t bytes) {
            const std::size_t from = std::min<std::size_t>(static_cast<std::size_t>(offset), tagged.size());
            return std::vector<std::uint8_t>(tagged.data() + from,
                                             tagged.data() + std::min(tagged.size(), from + bytes));
        };
        EXPECT_EQ(Id3TagBytes(tagged), tagBytes);
        const std::optional<FileLayout> layout = ProbeAudioHead(read, 4000);
        ASSERT_TRUE(layout.has_value()) << footer;
        EXPECT_EQ(layout->dataOffset, tagBytes + 417);
        EXPECT_FALSE(ProbeAudioHead(read, tagBytes).has_value()) << footer;
    }
}

TEST(WholeFileDecoder, LeavesTheCallersApartmentAlone)
{
    // The program calls in from a thread in a single-threaded apartment.
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    const std::wstring path = WriteToneWav(L"apartment.wav", 44100, 2, 0.1);
    PcmAudio audio;
    EXPECT_TRUE(DecodeAudioFile(path, audio));
    // Still the same apartment: joining it again only adds a reference.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    CoUninitialize();
    CoUninitialize();
}

}  // namespace
