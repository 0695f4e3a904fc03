#include "audio_files.h"

#include <windows.h>

#include <cmath>
#include <cstring>

namespace {

void Put(std::vector<uint8_t>& out, const char (&tag)[5])
{
    out.insert(out.end(), tag, tag + 4);
}

template <class T>
void PutLittleEndian(std::vector<uint8_t>& out, T value)
{
    for (size_t i = 0; i < sizeof(T); ++i) {
        out.push_back(static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i)));
    }
}

constexpr size_t kWavHeaderSize = 44;

}  // namespace

std::wstring AudioFilePath(const std::wstring& name)
{
    CreateDirectoryW(L"audio-files", nullptr);
    return L"audio-files\\" + name;
}

std::vector<uint8_t> MakeWav(uint32_t rate, uint16_t channels, uint32_t frames)
{
    const uint32_t blockAlign = channels * 2u;
    const uint32_t dataSize = frames * blockAlign;
    std::vector<uint8_t> wav;
    wav.reserve(kWavHeaderSize + dataSize);
    Put(wav, "RIFF");
    PutLittleEndian<uint32_t>(wav, 36 + dataSize);
    Put(wav, "WAVE");
    Put(wav, "fmt ");
    PutLittleEndian<uint32_t>(wav, 16);
    PutLittleEndian<uint16_t>(wav, 1);  // PCM
    PutLittleEndian<uint16_t>(wav, channels);
    PutLittleEndian<uint32_t>(wav, rate);
    PutLittleEndian<uint32_t>(wav, rate * blockAlign);
    PutLittleEndian<uint16_t>(wav, static_cast<uint16_t>(blockAlign));
    PutLittleEndian<uint16_t>(wav, 16);
    Put(wav, "data");
    PutLittleEndian<uint32_t>(wav, dataSize);
    for (uint32_t frame = 0; frame < frames; ++frame) {
        const double phase = 2.0 * 3.141592653589793 * 440.0 * frame / rate;
        for (uint16_t channel = 0; channel < channels; ++channel) {
            // Channels differ, so a mix-up of channels shows in the samples.
            const auto sample = static_cast<int16_t>(std::lround(8000.0 * std::sin(phase + channel)));
            PutLittleEndian<uint16_t>(wav, static_cast<uint16_t>(sample));
        }
    }
    return wav;
}

std::vector<uint8_t> WavSamples(const std::vector<uint8_t>& wav)
{
    return {wav.begin() + kWavHeaderSize, wav.end()};
}

bool WriteFileBytes(const std::wstring& path, const std::vector<uint8_t>& bytes)
{
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const bool ok =
        bytes.empty() ||
        (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size());
    CloseHandle(file);
    return ok;
}

std::wstring WriteToneWav(const std::wstring& name, uint32_t rate, uint16_t channels, double seconds)
{
    const std::wstring path = AudioFilePath(name);
    WriteFileBytes(path, MakeWav(rate, channels, static_cast<uint32_t>(std::lround(seconds * rate))));
    return path;
}
