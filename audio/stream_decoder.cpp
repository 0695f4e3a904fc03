#include "audio/stream_decoder.h"

#include "audio/mta_thread.h"

#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

namespace {

constexpr DWORD kAudioStream = static_cast<DWORD>(MF_SOURCE_READER_FIRST_AUDIO_STREAM);

// Absolute path of an existing, non-empty regular file, or an empty string.
std::wstring ResolveReadableFile(const std::wstring& path)
{
    if (path.empty()) {
        return {};
    }
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) {
        return {};
    }
    std::wstring full(needed, L'\0');
    const DWORD written = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (written == 0 || written >= needed) {
        return {};
    }
    full.resize(written);

    WIN32_FILE_ATTRIBUTE_DATA info{};
    if (!GetFileAttributesExW(full.c_str(), GetFileExInfoStandard, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
        (info.nFileSizeHigh == 0 && info.nFileSizeLow == 0)) {
        return {};
    }
    return full;
}

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
bool ReadPcmFormat(IMFSourceReader& reader, std::uint32_t& rate, std::uint16_t& channels)
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
    rate = samplesPerSecond;
    channels = static_cast<std::uint16_t>(channelCount);
    return true;
}

bool AppendSample(IMFSample& sample, std::vector<std::uint8_t>& bytes, std::uint64_t maxBytes)
{
    ComPtr<IMFMediaBuffer> buffer;
    if (FAILED(sample.ConvertToContiguousBuffer(&buffer))) {
        return false;
    }
    BYTE* data = nullptr;
    DWORD length = 0;
    if (FAILED(buffer->Lock(&data, nullptr, &length))) {
        return false;
    }
    const bool fits = bytes.size() + std::uint64_t{length} <= maxBytes;
    if (fits) {
        bytes.insert(bytes.end(), data, data + length);
    }
    buffer->Unlock();
    return fits;
}

// Needs COM and Media Foundation started on the calling thread.
bool DecodeWithReader(const std::wstring& fullPath, PcmAudio& out, std::uint64_t maxBytes)
{
    ComPtr<IMFSourceReader> reader;
    if (FAILED(MFCreateSourceReaderFromURL(fullPath.c_str(), nullptr, &reader)) ||
        FAILED(reader->SetStreamSelection(static_cast<DWORD>(MF_SOURCE_READER_ALL_STREAMS), FALSE)) ||
        FAILED(reader->SetStreamSelection(kAudioStream, TRUE)) || !AskForPcm16(*reader.Get())) {
        return false;
    }

    PcmAudio audio;
    if (!ReadPcmFormat(*reader.Get(), audio.sampleRate, audio.channels)) {
        return false;
    }
    for (;;) {
        DWORD flags = 0;
        ComPtr<IMFSample> sample;
        if (FAILED(reader->ReadSample(kAudioStream, 0, nullptr, &flags, nullptr, &sample)) ||
            (flags & MF_SOURCE_READERF_ERROR) != 0) {
            return false;
        }
        if ((flags & MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED) != 0) {
            // Samples of another format cannot be joined to the ones before.
            std::uint32_t rate = 0;
            std::uint16_t channels = 0;
            if (!ReadPcmFormat(*reader.Get(), rate, channels) || rate != audio.sampleRate ||
                channels != audio.channels) {
                return false;
            }
        }
        if (sample && !AppendSample(*sample.Get(), audio.bytes, maxBytes)) {
            return false;
        }
        if ((flags & MF_SOURCE_READERF_ENDOFSTREAM) != 0) {
            break;
        }
    }
    audio.bytes.resize(audio.bytes.size() - audio.bytes.size() % audio.BlockAlign());
    if (!audio.IsValid()) {
        return false;
    }
    out = std::move(audio);
    return true;
}

}  // namespace

bool DecodeAudioFile(const std::wstring& path, PcmAudio& out, std::uint64_t maxBytes)
{
    out = PcmAudio{};
    const std::wstring fullPath = ResolveReadableFile(path);
    if (fullPath.empty()) {
        return false;
    }

    return RunOnMtaThread([&] {
        if (FAILED(MFStartup(MF_VERSION, MFSTARTUP_NOSOCKET))) {
            return false;
        }
        const bool decoded = DecodeWithReader(fullPath, out, maxBytes);
        MFShutdown();
        return decoded;
    });
}
