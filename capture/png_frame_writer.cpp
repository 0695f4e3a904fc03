#include "capture/png_frame_writer.h"

#include "platform/unicode_text.h"
#include "texture/image_encoder.h"

#include <cstdio>

PngFrameWriter::PngFrameWriter(std::string folder) : folder(std::move(folder))
{
}

std::string PngFrameWriter::FileName(std::uint64_t index)
{
    char name[40];
    std::snprintf(name, sizeof name, "frame_%06llu.png", static_cast<unsigned long long>(index));
    return name;
}

std::optional<std::string> PngFrameWriter::Prepare()
{
    const std::wstring wideFolder = Utf16FromUtf8(folder);
    if (!CreateDirectoryW(wideFolder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        return "cannot make the folder " + folder + " (error " + std::to_string(GetLastError()) + ")";
    }
    const DWORD attributes = GetFileAttributesW(wideFolder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return folder + " is not a folder";
    }
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((wideFolder + L"\\frame_*.png").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
        return folder + " already holds frames (" + Utf8FromUtf16(found.cFileName).value_or("frame_*.png") +
               "); empty it or choose another folder";
    }
    return std::nullopt;
}

std::optional<std::string> PngFrameWriter::Write(const CapturedFrame& frame)
{
    const std::wstring path = Utf16FromUtf8(folder + "\\" + FileName(frame.index));
    const HRESULT result = Encode(frame, path);
    if (SUCCEEDED(result)) {
        return std::nullopt;
    }
    // A file cut short would pass for a frame to whatever reads the folder.
    DeleteFileW(path.c_str());
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(result));
    return "cannot write a PNG file in " + folder + " (" + code + ")";
}

HRESULT PngFrameWriter::Encode(const CapturedFrame& frame, const std::wstring& path)
{
    // The alpha the shaders leave is not part of the picture on screen: the
    // frame is stored as opaque 24-bit colour.
    const UINT rowBytes = frame.width * 3;
    rgb.resize(std::size_t(rowBytes) * frame.height);
    for (std::uint32_t y = 0; y < frame.height; ++y) {
        const std::uint8_t* source = frame.pixels + std::size_t(y) * frame.rowPitch;
        std::uint8_t* target = rgb.data() + std::size_t(y) * rowBytes;
        for (std::uint32_t x = 0; x < frame.width; ++x) {
            target[x * 3] = source[x * 4];
            target[x * 3 + 1] = source[x * 4 + 1];
            target[x * 3 + 2] = source[x * 4 + 2];
        }
    }
    const EncodedFrame encoded{frame.width, frame.height, GUID_WICPixelFormat24bppBGR, rowBytes, rgb, {}};
    return EncodeImageFile(path, GUID_ContainerFormatPng, {&encoded, 1});
}
