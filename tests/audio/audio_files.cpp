#include "tests/audio/audio_files.h"

#include <windows.h>

#include <cmath>
#include <cstring>

namespace {

void Put(std::vector<std::uint8_t>& out, const char (&tag)[5])
{
    out.insert(out.end(), tag, tag + 4);
}

template <class T>
void PutLittleEndian(std::vector<std::uint8_t>& out, T value)
{
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        out.push_back(static_cast<std::uint8_t>(static_cast<std::uint64_t>(value) >> (8 * i)));
    }
}

constexpr std::size_t kWavHeaderSize = 44;

}  // namespace

std::wstring AudioFilePath(const std::wstring& name)
{
    CreateDirectoryW(L"audio-files", nullptr);
    return L"audio-files\\" + name;
}

std::vector<std::uint8_t> MakeWav(std::uint32_t rate, std::uint16_t channels, std::uint32_t frames)
{
    const std::uint32_t blockAlign = channels * 2u;
    const std::uint32_t dataSize = frames * blockAlign;
    std::vector<std::uint8_t> wav;
    wav.reserve(kWavHeaderSize + dataSize);
    Put(wav, "RIFF");
    PutLittleEndian<std::uint32_t>(wav, 36 + dataSize);
    Put(wav, "WAVE");
    Put(wav, "fmt ");
    PutLittleEndian<std::uint32_t>(wav, 16);
    PutLittleEndian<std::uint16_t>(wav, 1);  // PCM
    PutLittleEndian<std::uint16_t>(wav, channels);
    PutLittleEndian<std::uint32_t>(wav, rate);
    PutLittleEndian<std::uint32_t>(wav, rate * blockAlign);
    PutLittleEndian<std::uint16_t>(wav, static_cast<std::uint16_t>(blockAlign));
    PutLittleEndian<std::uint16_t>(wav, 16);
    Put(wav, "data");
    PutLittleEndian<std::uint32_t>(wav, dataSize);
    for (std::uint32_t frame = 0; frame < frames; ++frame) {
        const double phase = 2.0 * 3.141592653589793 * 440.0 * frame / rate;
        for (std::uint16_t channel = 0; channel < channels; ++channel) {
            // Channels differ, so a mix-up of channels shows in the samples.
            const auto sample = static_cast<std::int16_t>(std::lround(8000.0 * std::sin(phase + channel)));
            PutLittleEndian<std::uint16_t>(wav, static_cast<std::uint16_t>(sample));
        }
    }
    return wav;
}

std::vector<std::uint8_t> WavSamples(const std::vector<std::uint8_t>& wav)
{
    return {wav.begin() + kWavHeaderSize, wav.end()};
}

bool WriteFileBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes)
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

std::wstring WriteToneWav(const std::wstring& name, std::uint32_t rate, std::uint16_t channels, double seconds)
{
    std::wstring path = AudioFilePath(name);
    WriteFileBytes(path, MakeWav(rate, channels, static_cast<std::uint32_t>(std::lround(seconds * rate))));
    return path;
}
