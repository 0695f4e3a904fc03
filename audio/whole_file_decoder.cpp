#include "audio/whole_file_decoder.h"

#include "audio/mta_thread.h"
#include "audio/readable_file.h"

#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <wrl/client.h>

#include <algorithm>
#include <utility>

using Microsoft::WRL::ComPtr;

namespace {

constexpr DWORD kAudioStream = static_cast<DWORD>(MF_SOURCE_READER_FIRST_AUDIO_STREAM);

bool AskForPcm16(IMFSourceReader& reader)
{
    ComPtr<IMFMediaType> wanted;
    if (FAILED(MFCreateMediaType(&wanted)) || FAILED(wanted->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio)) ||
        FAILED(wanted->SetGUID(MF_MT_SUBTYPE, MFAudioFormat_PCM)) ||
        FAILED(wanted->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 16))) {
        return false;
    }
    return SUCCEEDED(reader.SetCurrentMediaType(kAudioStream, nullptr, wanted.Get()));
}

// Reads back the format the reader delivers; only 16-bit PCM is accepted.
bool ReadPcmFormat(IMFSourceReader& reader, PcmFormat& format)
{
    ComPtr<IMFMediaType> type;
    if (FAILED(reader.GetCurrentMediaType(kAudioStream, &type))) {
        return false;
    }
    GUID subtype{};
    UINT32 bits = 0;
    UINT32 samplesPerSecond = 0;
    UINT32 channelCount = 0;
    if (FAILED(type->GetGUID(MF_MT_SUBTYPE, &subtype)) || subtype != MFAudioFormat_PCM ||
        FAILED(type->GetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, &bits)) || bits != 16 ||
        FAILED(type->GetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, &samplesPerSecond)) ||
        FAILED(type->GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &channelCount))) {
        return false;
    }
    if (samplesPerSecond == 0 || samplesPerSecond > 1'000'000 || channelCount == 0 || channelCount > 32) {
        return false;
    }
    format.sampleRate = samplesPerSecond;
    format.channels = static_cast<std::uint16_t>(channelCount);
    return true;
}

// Keeps Media Foundation started while it lives; used on one thread in COM's
// multithreaded apartment.
class DecodingSource final : public PcmSource {
public:
    DecodingSource() : started(SUCCEEDED(MFStartup(MF_VERSION, MFSTARTUP_NOSOCKET))) {}
    ~DecodingSource() override
    {
        reader.Reset();  // before Media Foundation goes
        if (started) {
            MFShutdown();
        }
    }
    DecodingSource(const DecodingSource&) = delete;
    DecodingSource& operator=(const DecodingSource&) = delete;

    bool Open(const std::wstring& fullPath)
    {
        return started && SUCCEEDED(MFCreateSourceReaderFromURL(fullPath.c_str(), nullptr, &reader)) &&
               SUCCEEDED(reader->SetStreamSelection(static_cast<DWORD>(MF_SOURCE_READER_ALL_STREAMS), FALSE)) &&
               SUCCEEDED(reader->SetStreamSelection(kAudioStream, TRUE)) && AskForPcm16(*reader.Get()) &&
               ReadPcmFormat(*reader.Get(), format);
    }

    PcmFormat Format() const override { return format; }

    ReadResult Read(std::vector<std::uint8_t>& chunk) override
    {
        chunk.clear();
        if (ended) {
            return ReadResult::End;
        }
        DWORD flags = 0;
        ComPtr<IMFSample> sample;
        if (FAILED(reader->ReadSample(kAudioStream, 0, nullptr, &flags, nullptr, &sample)) ||
            (flags & MF_SOURCE_READERF_ERROR) != 0) {
            return ReadResult::Error;
        }
        if ((flags & MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED) != 0) {
            // Samples of another format cannot be joined to the ones before.
            PcmFormat changed;
            if (!ReadPcmFormat(*reader.Get(), changed) || changed != format) {
                return ReadResult::Error;
            }
        }
        ended = (flags & MF_SOURCE_READERF_ENDOFSTREAM) != 0;
        if (sample && !CopySample(*sample.Get(), chunk)) {
            return ReadResult::Error;
        }
        if (chunk.empty()) {
            return ended ? ReadResult::End : ReadResult::Data;
        }
        return ReadResult::Data;
    }

private:
    static bool CopySample(IMFSample& sample, std::vector<std::uint8_t>& chunk)
    {
        ComPtr<IMFMediaBuffer> buffer;
        BYTE* data = nullptr;
        DWORD length = 0;
        if (FAILED(sample.ConvertToContiguousBuffer(&buffer)) || FAILED(buffer->Lock(&data, nullptr, &length))) {
            return false;
        }
        chunk.assign(data, data + length);
        buffer->Unlock();
        return true;
    }

    const bool started;
    ComPtr<IMFSourceReader> reader;
    PcmFormat format;
    bool ended = false;
};

std::unique_ptr<PcmSource> OpenDecodingSource(const std::wstring& fullPath)
{
    auto source = std::make_unique<DecodingSource>();
    if (!source->Open(fullPath)) {
        return nullptr;
    }
    return source;
}

class MemorySource final : public PcmSource {
public:
    explicit MemorySource(std::shared_ptr<const PcmAudio> pcm) : audio(std::move(pcm)) {}

    PcmFormat Format() const override { return audio->format; }
    ReadResult Read(std::vector<std::uint8_t>& chunk) override
    {
        constexpr std::size_t kChunkBytes = 64 * 1024;
        const std::size_t count = std::min(kChunkBytes, audio->bytes.size() - served);
        chunk.assign(audio->bytes.begin() + static_cast<std::ptrdiff_t>(served),
                     audio->bytes.begin() + static_cast<std::ptrdiff_t>(served + count));
        served += count;
        return count > 0 ? ReadResult::Data : ReadResult::End;
    }

private:
    const std::shared_ptr<const PcmAudio> audio;
    std::size_t served = 0;
};

}  // namespace

std::unique_ptr<PcmSource> MakeMemorySource(std::shared_ptr<const PcmAudio> audio)
{
    return std::make_unique<MemorySource>(std::move(audio));
}

bool DecodeAudioFile(const std::wstring& path, PcmAudio& out, std::uint64_t maxBytes)
{
    out = PcmAudio{};
    const std::wstring fullPath = ResolveReadableFile(path);
    if (fullPath.empty()) {
        return false;
    }
    return RunOnMtaThread([&] {
        const std::unique_ptr<PcmSource> source = OpenDecodingSource(fullPath);
        if (!source) {
            return false;
        }
        PcmAudio audio{.format = source->Format()};
        std::vector<std::uint8_t> chunk;
        for (;;) {
            const ReadResult result = source->Read(chunk);
            if (result == ReadResult::Error || audio.bytes.size() + chunk.size() > maxBytes) {
                return false;
            }
            if (result == ReadResult::End) {
                break;
            }
            audio.bytes.insert(audio.bytes.end(), chunk.begin(), chunk.end());
        }
        audio.bytes.resize(audio.bytes.size() - audio.bytes.size() % audio.format.BlockAlign());
        if (!audio.IsValid()) {
            return false;
        }
        out = std::move(audio);
        return true;
    });
}
