#pragma once

#include "texture/windows_types.h"

#include <cstdint>

// Row-size options for MeasureSurface and everything built on it. Every caller
// in the program passes 0; the other values exist for layouts that a device
// or file format dictates.
enum PitchFlags : std::uint32_t {
    RowAlign4 = 0x1,
    RowAlign16 = 0x2,
    RowAlign32 = 0x4,
    RowAlign64 = 0x8,
    RowAlign4096 = 0x200,
    WholeBlocksOnly = 0x1000,
    Force24Bits = 0x10000,
    Force16Bits = 0x20000,
    Force8Bits = 0x40000,
};

// Bytes of one row (one row of 4x4 blocks for block-compressed formats) and
// of a whole width x height surface of the given format. E_INVALIDARG for an
// unknown format or a planar format with an odd height it cannot hold, and
// HRESULT_FROM_WIN32(ERROR_ARITHMETIC_OVERFLOW) when a size does not fit in
// 64 bits. The outputs are written only on success.
HRESULT MeasureSurface(DXGI_FORMAT pixelFormat, std::uint64_t width, std::uint64_t height, std::uint32_t pitchFlags,
                       std::uint64_t& rowBytes, std::uint64_t& sliceBytes);

// Replaces a mip count of 0 by the full chain length for width x height and
// tells whether the (resolved) count fits that chain.
bool ResolveMipCount(std::uint64_t width, std::uint64_t height, std::uint64_t& mipCount);

// The next mip level's extent: halved when 2 or more, otherwise unchanged.
constexpr std::uint64_t NextMipExtent(std::uint64_t extent)
{
    return extent > 1 ? extent / 2 : extent;
}

// The sRGB twin of a linear format and back; formats without a twin are
// returned unchanged.
DXGI_FORMAT WithSrgb(DXGI_FORMAT pixelFormat);
DXGI_FORMAT WithoutSrgb(DXGI_FORMAT pixelFormat);
