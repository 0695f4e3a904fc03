#pragma once

#include <windows.h>
#include <wincodec.h>

#include <cstdint>
#include <string>
#include <vector>

// One frame for WriteImage: pixels in `format`, rows `stride` bytes apart.
struct TestFrame {
    UINT width = 0;
    UINT height = 0;
    GUID format{};
    UINT stride = 0;
    std::vector<std::uint8_t> pixels;
    std::vector<WICColor> palette;  // for indexed formats
};

// Encodes frames into a file with WIC's own encoder for `container`
// (EncodeImageFile, as the capture program's PNG writer does).
HRESULT WriteImage(const std::wstring& path, const GUID& container, const std::vector<TestFrame>& frames);

// A frame of 32bppBGRA pixels whose every byte differs from its neighbours.
TestFrame PatternBgra(UINT width, UINT height);
// A frame of one colour (B, G, R, A) in 32bppBGRA.
TestFrame SolidBgra(UINT width, UINT height, std::uint32_t bgra);

// Writes raw bytes to a file (for broken files).
bool WriteBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> ReadBytes(const std::wstring& path);

// A scratch folder for the files of one test executable.
std::wstring TestFilePath(const wchar_t* name);
