#include "texture/pitch_rules.h"

#include "texture/checked_math.h"

#include <limits>

namespace {

// x / n rounded up, without forming x + n - 1.
constexpr std::uint64_t CeilDiv(std::uint64_t x, std::uint64_t n)
{
    return x / n + (x % n != 0 ? 1 : 0);
}

HRESULT Overflow()
{
    return HRESULT_FROM_WIN32(ERROR_ARITHMETIC_OVERFLOW);
}

// Bytes per 4x4 block, or 0 when the format is not block-compressed.
std::uint64_t BlockBytes(std::uint32_t format)
{
    if ((format >= 70 && format <= 72) || (format >= 79 && format <= 81)) {
        return 8;
    }
    if ((format >= 73 && format <= 78) || (format >= 82 && format <= 84) || (format >= 94 && format <= 99)) {
        return 16;
    }
    return 0;
}

// Bits per pixel of the formats sized per pixel, 0 for unknown numbers.
std::uint64_t BitsPerPixel(std::uint32_t format)
{
    if (format >= 1 && format <= 4) {
        return 128;
    }
    if (format >= 5 && format <= 8) {
        return 96;
    }
    if ((format >= 9 && format <= 22) || format == 102) {
        return 64;
    }
    if ((format >= 23 && format <= 47) || format == 67 || (format >= 87 && format <= 93) || format == 100 ||
        format == 101 || format == 116 || format == 117 || format == 189) {
        return 32;
    }
    if ((format >= 48 && format <= 59) || format == 85 || format == 86 || format == 114 || format == 115) {
        return 16;
    }
    if ((format >= 60 && format <= 65) || (format >= 111 && format <= 113) || format == 190) {
        return 8;
    }
    if (format == 66) {
        return 1;
    }
    return 0;
}

HRESULT MeasureBlockCompressed(std::uint64_t blockBytes, std::uint64_t width, std::uint64_t height,
                               std::uint32_t pitchFlags, std::uint64_t& rowBytes, std::uint64_t& sliceBytes)
{
    std::uint64_t row = 0;
    std::uint64_t slice = 0;
    if (pitchFlags & WholeBlocksOnly) {
        if (!MultiplyChecked(width / 4, blockBytes, row)) {
            return Overflow();
        }
        if (row == 0) {
            row = 1;
        }
        if (!MultiplyChecked(row, height / 4, slice)) {
            return Overflow();
        }
        if (slice == 0) {
            slice = 1;
        }
    } else {
        std::uint64_t blocksWide = CeilDiv(width, 4);
        std::uint64_t blocksHigh = CeilDiv(height, 4);
        if (blocksWide == 0) {
            blocksWide = 1;
        }
        if (blocksHigh == 0) {
            blocksHigh = 1;
        }
        if (!MultiplyChecked(blocksWide, blockBytes, row)) {
            return Overflow();
        }
        if (!MultiplyChecked(row, blocksHigh, slice)) {
            return Overflow();
        }
    }
    rowBytes = row;
    sliceBytes = slice;
    return S_OK;
}

// The packed and planar formats; false when the format is not one of them.
// PitchFlags do not apply to these layouts.
bool MeasurePacked(std::uint32_t format, std::uint64_t width, std::uint64_t height, std::uint64_t& rowBytes,
                   std::uint64_t& sliceBytes, HRESULT& status)
{
    const std::uint64_t halfWidthUp = CeilDiv(width, 2);
    // height + ⌈height/2⌉: a full-size plane plus a half-height chroma plane.
    auto planarRows = [&](std::uint64_t& rows) { return AddChecked(height, CeilDiv(height, 2), rows); };
    std::uint64_t row = 0;
    std::uint64_t slice = 0;
    std::uint64_t rows = 0;
    bool fits = true;
    status = S_OK;
    switch (format) {
    case 68:
    case 69:
    case 107:
        fits = MultiplyChecked(halfWidthUp, 4, row) && MultiplyChecked(row, height, slice);
        break;
    case 108:
    case 109:
        fits = MultiplyChecked(halfWidthUp, 8, row) && MultiplyChecked(row, height, slice);
        break;
    case 103:
    case 106:
        if (height % 2 != 0) {
            status = E_INVALIDARG;
            return true;
        }
        fits = MultiplyChecked(halfWidthUp, 2, row) && planarRows(rows) && MultiplyChecked(row, rows, slice);
        break;
    case 104:
    case 105:
        if (height % 2 != 0) {
            status = E_INVALIDARG;
            return true;
        }
        [[fallthrough]];
    case 118:
    case 119:
    case 120:
        fits = MultiplyChecked(halfWidthUp, 4, row) && planarRows(rows) && MultiplyChecked(row, rows, slice);
        break;
    case 110:
        fits = MultiplyChecked(CeilDiv(width, 4), 4, row) && MultiplyChecked(row, 2, slice) &&
               MultiplyChecked(slice, height, slice);
        break;
    case 130:
        fits = MultiplyChecked(halfWidthUp, 2, row) && MultiplyChecked(row, 2, slice) &&
               MultiplyChecked(slice, height, slice);
        break;
    case 131:
        if (height % 2 != 0) {
            status = E_INVALIDARG;
            return true;
        }
        row = width;
        fits = MultiplyChecked(width, 2, slice) && MultiplyChecked(slice, height, slice);
        break;
    case 132:
        row = width;
        fits = MultiplyChecked(height / 2, 4, rows) && AddChecked(rows, height, rows) &&
               MultiplyChecked(width, rows, slice);
        break;
    default:
        return false;
    }
    if (!fits) {
        status = Overflow();
        return true;
    }
    rowBytes = row;
    sliceBytes = slice;
    return true;
}

}  // namespace

HRESULT MeasureSurface(DXGI_FORMAT pixelFormat, std::uint64_t width, std::uint64_t height, std::uint32_t pitchFlags,
                       std::uint64_t& rowBytes, std::uint64_t& sliceBytes)
{
    const auto format = static_cast<std::uint32_t>(pixelFormat);

    if (const std::uint64_t blockBytes = BlockBytes(format); blockBytes != 0) {
        return MeasureBlockCompressed(blockBytes, width, height, pitchFlags, rowBytes, sliceBytes);
    }

    HRESULT packedStatus = S_OK;
    if (MeasurePacked(format, width, height, rowBytes, sliceBytes, packedStatus)) {
        return packedStatus;
    }

    std::uint64_t bitsPerPixel = 0;
    if (pitchFlags & Force24Bits) {
        bitsPerPixel = 24;
    } else if (pitchFlags & Force16Bits) {
        bitsPerPixel = 16;
    } else if (pitchFlags & Force8Bits) {
        bitsPerPixel = 8;
    } else {
        bitsPerPixel = BitsPerPixel(format);
    }
    if (bitsPerPixel == 0) {
        return E_INVALIDARG;
    }

    std::uint64_t bits = 0;
    if (!MultiplyChecked(width, bitsPerPixel, bits)) {
        return Overflow();
    }

    // Rounding bits up to whole multiples of the alignment cannot exceed 64
    // bits: ⌈bits/n⌉ × n/8 stays below 2^61 + n for any 64-bit bit count.
    std::uint64_t row = 0;
    if (pitchFlags & RowAlign4096) {
        row = CeilDiv(bits, 32768) * 4096;
    } else if (pitchFlags & RowAlign64) {
        row = CeilDiv(bits, 512) * 64;
    } else if (pitchFlags & RowAlign32) {
        row = CeilDiv(bits, 256) * 32;
    } else if (pitchFlags & RowAlign16) {
        row = CeilDiv(bits, 128) * 16;
    } else if (pitchFlags & RowAlign4) {
        row = CeilDiv(bits, 32) * 4;
    } else {
        row = CeilDiv(bits, 8);
    }

    std::uint64_t slice = 0;
    if (!MultiplyChecked(row, height, slice)) {
        return Overflow();
    }
    rowBytes = row;
    sliceBytes = slice;
    return S_OK;
}

bool ResolveMipCount(std::uint64_t width, std::uint64_t height, std::uint64_t& mipCount)
{
    std::uint64_t fullLength = 1;
    while (width > 1 || height > 1) {
        width = NextMipExtent(width);
        height = NextMipExtent(height);
        ++fullLength;
    }
    if (mipCount == 0) {
        mipCount = fullLength;
        return true;
    }
    return mipCount <= fullLength;
}

namespace {

struct SrgbPair {
    std::uint32_t linear;
    std::uint32_t srgb;
};

constexpr SrgbPair kSrgbPairs[] = {
    {28, 29}, {71, 72}, {74, 75}, {77, 78}, {87, 91}, {88, 93}, {98, 99},
};

}  // namespace

DXGI_FORMAT WithSrgb(DXGI_FORMAT pixelFormat)
{
    for (const SrgbPair& pair : kSrgbPairs) {
        if (static_cast<std::uint32_t>(pixelFormat) == pair.linear) {
            return static_cast<DXGI_FORMAT>(pair.srgb);
        }
    }
    return pixelFormat;
}

DXGI_FORMAT WithoutSrgb(DXGI_FORMAT pixelFormat)
{
    for (const SrgbPair& pair : kSrgbPairs) {
        if (static_cast<std::uint32_t>(pixelFormat) == pair.srgb) {
            return static_cast<DXGI_FORMAT>(pair.linear);
        }
    }
    return pixelFormat;
}
