// Sound and non-sound files written by the tests, in a folder of their own
// below the working directory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// L"audio-files\\<name>", creating the folder when needed.
std::wstring AudioFilePath(const std::wstring& name);

// The bytes of a 16-bit PCM WAV file holding `frames` frames of a 440 Hz tone.
std::vector<std::uint8_t> MakeWav(std::uint32_t rate, std::uint16_t channels, std::uint32_t frames);
// The PCM part of what MakeWav returns.
std::vector<std::uint8_t> WavSamples(const std::vector<std::uint8_t>& wav);

bool WriteFileBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes);
// Writes a tone of `seconds` seconds and returns its path.
std::wstring WriteToneWav(const std::wstring& name, std::uint32_t rate, std::uint16_t channels, double seconds);
