#include "texture/image_set.h"

#include "texture/checked_math.h"

#include <cstddef>
#include <cstring>
#include <limits>
#include <new>

namespace {

constexpr std::align_val_t kPixelAlignment{16};

bool IsFlat(std::int32_t dimension)
{
    return dimension == kImageDimension1D || dimension == kImageDimension2D;
}

// Bytes and surface count of `levels` mip levels of one 2-D layer (or, with
// `depth`, of a 3-D image, where each level counts as its depth in slices).
// Once every extent is below 2 the levels no longer shrink, so the rest of a
// long chain is counted in one step instead of walked.
HRESULT MeasureChain(const ImageDesc& desc, std::uint64_t depth, std::uint32_t pitchFlags, std::uint64_t& surfaceCount,
                     std::uint64_t& totalBytes)
{
    std::uint64_t width = desc.width;
    std::uint64_t height = desc.height;
    std::uint64_t count = 0;
    std::uint64_t total = 0;
    for (std::uint64_t mip = 0; mip < desc.mipCount; ++mip) {
        std::uint64_t rowBytes = 0;
        std::uint64_t sliceBytes = 0;
        const HRESULT status = MeasureSurface(desc.pixelFormat, width, height, pitchFlags, rowBytes, sliceBytes);
        if (FAILED(status)) {
            return status;
        }

        const bool settled = width < 2 && height < 2 && depth < 2;
        const std::uint64_t repeats = settled ? desc.mipCount - mip : 1;
        std::uint64_t levelBytes = 0;
        std::uint64_t levelSlices = 0;
        if (!MultiplyChecked(sliceBytes, depth, levelBytes) || !MultiplyChecked(levelBytes, repeats, levelBytes) ||
            !MultiplyChecked(depth, repeats, levelSlices) || !AddChecked(total, levelBytes, total) ||
            !AddChecked(count, levelSlices, count)) {
            return HRESULT_FROM_WIN32(ERROR_ARITHMETIC_OVERFLOW);
        }
        if (settled) {
            break;
        }

        width = NextMipExtent(width);
        height = NextMipExtent(height);
        depth = NextMipExtent(depth);
    }
    surfaceCount = count;
    totalBytes = total;
    return S_OK;
}

}  // namespace

std::uint64_t ImageDesc::SurfaceIndex(std::uint64_t mip, std::uint64_t layer, std::uint64_t slice) const
{
    if (mip >= mipCount) {
        return kNoSurface;
    }
    if (IsFlat(dimension)) {
        if (slice != 0 || layer >= layerCount) {
            return kNoSurface;
        }
        std::uint64_t index = 0;
        if (!MultiplyChecked(layer, mipCount, index) || !AddChecked(index, mip, index)) {
            return kNoSurface;
        }
        return index;
    }
    if (dimension != kImageDimension3D || layer != 0) {
        return kNoSurface;
    }

    // Slices of the levels above `mip`; once the depth reaches 1 every
    // further level holds exactly one slice.
    std::uint64_t levelDepth = depth;
    std::uint64_t before = 0;
    std::uint64_t level = 0;
    while (level < mip && levelDepth > 1) {
        before += levelDepth;  // at most twice the depth: cannot wrap
        levelDepth = NextMipExtent(levelDepth);
        ++level;
    }
    if (level < mip && !AddChecked(before, (mip - level) * levelDepth, before)) {
        return kNoSurface;
    }
    if (slice >= levelDepth) {
        return kNoSurface;
    }
    std::uint64_t index = 0;
    if (!AddChecked(before, slice, index)) {
        return kNoSurface;
    }
    return index;
}

HRESULT MeasureImage(const ImageDesc& desc, std::uint32_t pitchFlags, std::uint64_t& surfaceCount,
                     std::uint64_t& totalBytes)
{
    surfaceCount = 0;
    totalBytes = 0;
    std::uint64_t count = 0;
    std::uint64_t total = 0;
    if (IsFlat(desc.dimension)) {
        // Every layer has the same chain, so one layer is measured and
        // multiplied; a set without layers or mips has no surfaces at all.
        if (desc.layerCount == 0 || desc.mipCount == 0) {
            return S_OK;
        }
        std::uint64_t layerSurfaces = 0;
        std::uint64_t layerBytes = 0;
        const HRESULT status = MeasureChain(desc, 1, pitchFlags, layerSurfaces, layerBytes);
        if (FAILED(status)) {
            return status;
        }
        if (!MultiplyChecked(layerSurfaces, desc.layerCount, count) ||
            !MultiplyChecked(layerBytes, desc.layerCount, total)) {
            return HRESULT_FROM_WIN32(ERROR_ARITHMETIC_OVERFLOW);
        }
    } else if (desc.dimension == kImageDimension3D) {
        const HRESULT status = MeasureChain(desc, desc.depth, pitchFlags, count, total);
        if (FAILED(status)) {
            return status;
        }
    } else {
        return E_INVALIDARG;
    }
    surfaceCount = count;
    totalBytes = total;
    return S_OK;
}

bool LayOutSurfaces(std::uint8_t* block, std::uint64_t blockBytes, const ImageDesc& desc, std::uint32_t pitchFlags,
                    ImageSurface* surfaces, std::uint64_t capacity)
{
    if (surfaces == nullptr) {
        return false;
    }
    std::uint64_t offset = 0;
    std::uint64_t index = 0;

    // Writes the record at `index` at the cursor and advances both.
    auto place = [&](std::uint64_t width, std::uint64_t height, std::uint64_t rowBytes, std::uint64_t sliceBytes) {
        if (index >= capacity) {
            return false;
        }
        ImageSurface& surface = surfaces[index++];
        surface.width = width;
        surface.height = height;
        surface.pixelFormat = desc.pixelFormat;
        surface.rowBytes = rowBytes;
        surface.sliceBytes = sliceBytes;
        surface.pixels = block != nullptr ? block + offset : nullptr;
        return AddChecked(offset, sliceBytes, offset) && offset <= blockBytes;
    };

    if (IsFlat(desc.dimension)) {
        if (desc.layerCount == 0 || desc.mipCount == 0) {
            return false;
        }
        for (std::uint64_t layer = 0; layer < desc.layerCount; ++layer) {
            std::uint64_t width = desc.width;
            std::uint64_t height = desc.height;
            for (std::uint64_t mip = 0; mip < desc.mipCount; ++mip) {
                std::uint64_t rowBytes = 0;
                std::uint64_t sliceBytes = 0;
                if (FAILED(MeasureSurface(desc.pixelFormat, width, height, pitchFlags, rowBytes, sliceBytes)) ||
                    !place(width, height, rowBytes, sliceBytes)) {
                    return false;
                }
                width = NextMipExtent(width);
                height = NextMipExtent(height);
            }
        }
        return true;
    }

    if (desc.dimension != kImageDimension3D || desc.mipCount == 0 || desc.depth == 0) {
        return false;
    }
    std::uint64_t width = desc.width;
    std::uint64_t height = desc.height;
    std::uint64_t depth = desc.depth;
    for (std::uint64_t mip = 0; mip < desc.mipCount; ++mip) {
        std::uint64_t rowBytes = 0;
        std::uint64_t sliceBytes = 0;
        if (FAILED(MeasureSurface(desc.pixelFormat, width, height, pitchFlags, rowBytes, sliceBytes))) {
            return false;
        }
        for (std::uint64_t slice = 0; slice < depth; ++slice) {
            if (!place(width, height, rowBytes, sliceBytes)) {
                return false;
            }
        }
        width = NextMipExtent(width);
        height = NextMipExtent(height);
        depth = NextMipExtent(depth);
    }
    return true;
}

HRESULT ImageSet::Allocate2D(DXGI_FORMAT pixelFormat, std::uint64_t width, std::uint64_t height,
                             std::uint64_t layerCount, std::uint64_t mipCount, std::uint32_t pitchFlags)
{
    // Whatever the outcome, the earlier contents go: a failed call leaves an
    // empty set, never the previous image under a caller's new expectations.
    Clear();
    const auto format = static_cast<std::uint32_t>(pixelFormat);
    if (format < 1 || format > 190 || width == 0 || height == 0 || layerCount == 0) {
        return E_INVALIDARG;
    }
    if (format >= 111 && format <= 114) {
        return HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
    }
    if (!ResolveMipCount(width, height, mipCount)) {
        return E_INVALIDARG;
    }

    desc = ImageDesc{width, height, 1, layerCount, mipCount, 0, 0, pixelFormat, kImageDimension2D};

    std::uint64_t count = 0;
    std::uint64_t total = 0;
    if (const HRESULT status = MeasureImage(desc, pitchFlags, count, total); FAILED(status)) {
        desc = ImageDesc{};
        return status;
    }

    // No object may be larger than the largest pointer difference; past
    // that an array new would throw instead of failing quietly.
    if (count > static_cast<std::uint64_t>(std::numeric_limits<std::ptrdiff_t>::max()) / sizeof(ImageSurface)) {
        desc = ImageDesc{};
        return E_OUTOFMEMORY;
    }
    surfaces = new (std::nothrow) ImageSurface[static_cast<std::size_t>(count)]();
    if (surfaces == nullptr) {
        desc = ImageDesc{};
        return E_OUTOFMEMORY;
    }
    surfaceCount = count;

    if (total > std::numeric_limits<std::size_t>::max()) {
        Clear();
        return E_OUTOFMEMORY;
    }
    pixelMemory =
        static_cast<std::uint8_t*>(::operator new(static_cast<std::size_t>(total), kPixelAlignment, std::nothrow));
    if (pixelMemory == nullptr) {
        Clear();
        return E_OUTOFMEMORY;
    }
    std::memset(pixelMemory, 0, static_cast<std::size_t>(total));
    byteSize = total;

    if (!LayOutSurfaces(pixelMemory, byteSize, desc, pitchFlags, surfaces, surfaceCount)) {
        Clear();
        return E_FAIL;
    }
    return S_OK;
}

void ImageSet::Clear()
{
    surfaceCount = 0;
    byteSize = 0;
    if (surfaces != nullptr) {
        delete[] surfaces;
        surfaces = nullptr;
    }
    if (pixelMemory != nullptr) {
        ::operator delete(pixelMemory, kPixelAlignment);
        pixelMemory = nullptr;
    }
    desc = ImageDesc{};
}

ImageSurface* ImageSet::SurfaceAt(std::uint64_t mip, std::uint64_t layer, std::uint64_t slice)
{
    const std::uint64_t index = desc.SurfaceIndex(mip, layer, slice);
    // The bound check costs nothing and keeps a description edited by hand
    // from reading past the array.
    if (index == kNoSurface || index >= surfaceCount || surfaces == nullptr) {
        return nullptr;
    }
    return &surfaces[index];
}

const ImageSurface* ImageSet::SurfaceAt(std::uint64_t mip, std::uint64_t layer, std::uint64_t slice) const
{
    return const_cast<ImageSet*>(this)->SurfaceAt(mip, layer, slice);
}
