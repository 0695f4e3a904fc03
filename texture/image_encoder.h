#pragma once

#include <windows.h>
#include <wincodec.h>

#include <cstdint>
#include <span>
#include <string>

// One frame to encode: pixels in `format`, rows `stride` bytes apart, and the
// colours of an indexed format.
struct EncodedFrame {
    UINT width = 0;
    UINT height = 0;
    GUID format{};
    UINT stride = 0;
    std::span<const std::uint8_t> pixels;
    std::span<const WICColor> palette;
};

// Writes the frames into a file with the imaging component's encoder for
// `container` (PNG, JPEG, TIFF...). Fails with WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT
// when the encoder would store another pixel format than a frame's; a failure
// partway may leave a partial file for the caller to delete.
HRESULT EncodeImageFile(const std::wstring& path, const GUID& container, std::span<const EncodedFrame> frames);
