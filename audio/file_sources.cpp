#include "audio/file_sources.h"

#include "audio/com_object.h"
#include "audio/source_pieces.h"

#include <windows.h>
#include <mediaobj.h>
#include <mmreg.h>
#include <wrl/client.h>

#include <algorithm>
#include <utility>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

// Read from a WAV file at a time.
constexpr std::size_t kWavReadBytes = 16 * 1024;
// Fed to the MP3 decoder at a time (an eighth of a second of the 128 kbit/s music), and
// the most it hands back at once: small steps, so the device is never kept
// waiting while the same thread decodes.
constexpr std::size_t kMp3ReadBytes = 2 * 1024;
constexpr std::size_t kMp3OutputFrames = 8 * 1152;

// The system's MP3 decoder object and the media types it speaks.
constexpr GUID kMp3DecoderObject{0xbbeea841, 0x0a63, 0x4f52, {0xa7, 0xab, 0xa9, 0xb3, 0xa8, 0x4e, 0xd3, 0x8a}};
constexpr GUID kAudioMajorType{0x73647561, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
constexpr GUID kMp3Subtype{0x00000055, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
constexpr GUID kPcmSubtype{0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
constexpr GUID kWaveFormatExType{0x05589f81, 0xc356, 0x11ce, {0xbf, 0x01, 0x00, 0xaa, 0x00, 0x55, 0x59, 0x5a}};

class FileReader {
public:
    FileReader(const std::wstring& path, std::uint64_t offset, std::uint64_t bytes, std::size_t stepBytes)
        : file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN, nullptr)),
          pieces(bytes, stepBytes)
    {
        LARGE_INTEGER position{};
        position.QuadPart = static_cast<LONGLONG>(offset);
        if (file != INVALID_HANDLE_VALUE && !SetFilePointerEx(file, position, nullptr, FILE_BEGIN)) {
            CloseHandle(file);
            file = INVALID_HANDLE_VALUE;
        }
    }
    ~FileReader()
    {
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        }
    }
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    bool IsOpen() const { return file != INVALID_HANDLE_VALUE; }

    // The next piece, empty at the end; false when the file cannot be read.
    bool Next(std::vector<std::uint8_t>& piece)
    {
        return pieces.Next(piece, [this](std::span<std::uint8_t> into, std::size_t& read) {
            DWORD got = 0;
            const bool ok = ReadFile(file, into.data(), static_cast<DWORD>(into.size()), &got, nullptr) != FALSE;
            read = got;
            return ok;
        });
    }

private:
    HANDLE file;
    PieceReader pieces;
};

class WavSource final : public PcmSource {
public:
    WavSource(const std::wstring& path, const FileLayout& layout)
        : reader(path, layout.dataOffset, layout.dataBytes, kWavReadBytes), format(layout.info.format)
    {
    }
    bool IsOpen() const { return reader.IsOpen(); }

    PcmFormat Format() const override { return format; }
    ReadResult Read(std::vector<std::uint8_t>& chunk) override
    {
        if (!reader.Next(chunk)) {
            return ReadResult::Error;
        }
        return chunk.empty() ? ReadResult::End : ReadResult::Data;
    }

private:
    FileReader reader;
    const PcmFormat format;
};

// A block of memory handed to the decoder object.
class MemoryBlock final : public ComObject<IMediaBuffer> {
public:
    explicit MemoryBlock(std::size_t capacity) : bytes(capacity) {}

    std::vector<BYTE> bytes;
    DWORD length = 0;

    HRESULT STDMETHODCALLTYPE SetLength(DWORD newLength) override
    {
        if (newLength > bytes.size()) {
            return E_INVALIDARG;
        }
        length = newLength;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMaxLength(DWORD* maxLength) override
    {
        if (maxLength == nullptr) {
            return E_POINTER;
        }
        *maxLength = static_cast<DWORD>(bytes.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetBufferAndLength(BYTE** buffer, DWORD* currentLength) override
    {
        if (buffer == nullptr && currentLength == nullptr) {
            return E_POINTER;
        }
        if (buffer != nullptr) {
            *buffer = bytes.data();
        }
        if (currentLength != nullptr) {
            *currentLength = length;
        }
        return S_OK;
    }
};

// The decoder's input type as documented for MPEG audio layer III: one frame a
// block, the stream's own byte rate, frame length and padding.
MPEGLAYER3WAVEFORMAT Mp3InputFormat(const PcmFormat& format, const Mp3StreamFormat& stream)
{
    MPEGLAYER3WAVEFORMAT mp3{};
    mp3.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    mp3.wfx.nChannels = format.channels;
    mp3.wfx.nSamplesPerSec = format.sampleRate;
    mp3.wfx.nAvgBytesPerSec = stream.bytesPerSecond;
    mp3.wfx.nBlockAlign = 1;
    mp3.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
    mp3.wID = MPEGLAYER3_ID_MPEG;
    switch (stream.padding) {
    case Mp3Padding::Iso:
        mp3.fdwFlags = MPEGLAYER3_FLAG_PADDING_ISO;
        break;
    case Mp3Padding::Never:
        mp3.fdwFlags = MPEGLAYER3_FLAG_PADDING_OFF;
        break;
    case Mp3Padding::Always:
        mp3.fdwFlags = MPEGLAYER3_FLAG_PADDING_ON;
        break;
    }
    mp3.nFramesPerBlock = 1;
    mp3.nBlockSize = static_cast<WORD>(mp3.nFramesPerBlock * stream.frameBytes);
    mp3.nCodecDelay = stream.codecDelay;
    return mp3;
}

class Mp3Source final : public PcmSource {
public:
    Mp3Source(const std::wstring& path, const FileLayout& layout)
        : reader(path, layout.dataOffset, layout.dataBytes, kMp3ReadBytes), format(layout.info.format),
          stream(layout.mp3), trim(layout.skipFrames * layout.info.format.BlockAlign(), layout.info.lengthBytes)
    {
    }

    bool IsReadable() const { return reader.IsOpen(); }

    // False when no decoder can be made or it does not take the stream.
    bool OpenDecoder(Mp3DecoderMaker makeDecoder)
    {
        if (FAILED(makeDecoder(decoder.ReleaseAndGetAddressOf())) || !decoder) {
            return false;
        }
        MPEGLAYER3WAVEFORMAT mp3 = Mp3InputFormat(format, stream);
        const DMO_MEDIA_TYPE inputType{.majortype = kAudioMajorType,
                                       .subtype = kMp3Subtype,
                                       .bFixedSizeSamples = FALSE,
                                       .bTemporalCompression = FALSE,
                                       .lSampleSize = 0,
                                       .formattype = kWaveFormatExType,
                                       .pUnk = nullptr,
                                       .cbFormat = sizeof(mp3),
                                       .pbFormat = reinterpret_cast<BYTE*>(&mp3)};
        WAVEFORMATEX pcm{};
        pcm.wFormatTag = WAVE_FORMAT_PCM;
        pcm.nChannels = format.channels;
        pcm.nSamplesPerSec = format.sampleRate;
        pcm.nAvgBytesPerSec = static_cast<DWORD>(format.BytesPerSecond());
        pcm.nBlockAlign = static_cast<WORD>(format.BlockAlign());
        pcm.wBitsPerSample = 16;
        const DMO_MEDIA_TYPE outputType{.majortype = kAudioMajorType,
                                        .subtype = kPcmSubtype,
                                        .bFixedSizeSamples = TRUE,
                                        .bTemporalCompression = FALSE,
                                        .lSampleSize = format.BlockAlign(),
                                        .formattype = kWaveFormatExType,
                                        .pUnk = nullptr,
                                        .cbFormat = sizeof(pcm),
                                        .pbFormat = reinterpret_cast<BYTE*>(&pcm)};
        if (FAILED(decoder->SetInputType(0, &inputType, 0)) || FAILED(decoder->SetOutputType(0, &outputType, 0))) {
            return false;
        }
        input = MakeComObject<MemoryBlock>(kMp3ReadBytes);
        output = MakeComObject<MemoryBlock>(kMp3OutputFrames * format.BlockAlign());
        return true;
    }

    PcmFormat Format() const override { return format; }

    ReadResult Read(std::vector<std::uint8_t>& chunk) override
    {
        chunk.clear();
        while (!trim.Done()) {
            output->length = 0;
            DMO_OUTPUT_DATA_BUFFER produced{.pBuffer = output.Get()};
            DWORD status = 0;
            if (FAILED(decoder->ProcessOutput(0, 1, &produced, &status))) {
                return ReadResult::Error;
            }
            if (trim.Take(std::span(output->bytes).first(output->length), chunk)) {
                return ReadResult::Data;
            }
            if ((produced.dwStatus & DMO_OUTPUT_DATA_BUFFERF_INCOMPLETE) != 0) {
                continue;
            }
            if (drained) {
                break;
            }
            if (!reader.Next(piece)) {
                return ReadResult::Error;
            }
            if (piece.empty()) {
                // The last frames are still inside the decoder.
                drained = true;
                if (FAILED(decoder->Discontinuity(0))) {
                    return ReadResult::Error;
                }
                continue;
            }
            // A decoder may keep a block it was given, and read it, until it
            // has made all output from it. The block is filled again only
            // once the decoder has let go of it (Wine's does after its
            // output); while it holds on, the piece goes into a new one.
            if (input->References() > 1) {
                input = MakeComObject<MemoryBlock>(kMp3ReadBytes);
            }
            std::copy(piece.begin(), piece.end(), input->bytes.begin());
            input->length = static_cast<DWORD>(piece.size());
            if (FAILED(decoder->ProcessInput(0, input.Get(), 0, 0, 0))) {
                return ReadResult::Error;
            }
        }
        return ReadResult::End;
    }

private:
    FileReader reader;
    const PcmFormat format;
    const Mp3StreamFormat stream;
    DecodedTrim trim;
    ComPtr<IMediaObject> decoder;
    ComPtr<MemoryBlock> input;
    ComPtr<MemoryBlock> output;
    std::vector<std::uint8_t> piece;
    bool drained = false;
};

}  // namespace

HRESULT MakeSystemMp3Decoder(IMediaObject** decoder)
{
    return CoCreateInstance(kMp3DecoderObject, nullptr, CLSCTX_INPROC_SERVER, IID_IMediaObject,
                            reinterpret_cast<void**>(decoder));
}

OpenedSource OpenFileSource(const std::wstring& fullPath, const FileLayout& layout, Mp3DecoderMaker makeDecoder)
{
    if (layout.container == Container::Wav) {
        auto wav = std::make_unique<WavSource>(fullPath, layout);
        if (!wav->IsOpen()) {
            return {};
        }
        return {.source = std::move(wav)};
    }
    auto mp3 = std::make_unique<Mp3Source>(fullPath, layout);
    if (!mp3->IsReadable()) {
        return {};
    }
    if (!mp3->OpenDecoder(makeDecoder)) {
        return {.noDecoder = true};
    }
    return {.source = std::move(mp3)};
}
