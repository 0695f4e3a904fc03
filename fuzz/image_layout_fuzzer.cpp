// Any image description, as a decoder could report one, measured and laid
// out the way the decoder and the texture builder use the container: every
// surface record is where SurfaceIndex says, and the records tile the pixel
// block exactly. Descriptions small enough to allocate are allocated too.
//
// Input: format (4 bytes), width, height, depth, layers, mips (8 each),
// pitch flags (4), dimension (1), all little-endian; missing bytes are 0.
#include "fuzz/fuzz_check.h"
#include "texture/image_set.h"

#include <vector>

namespace {

// Surface records and pixel bytes the target is willing to hold.
constexpr std::uint64_t kMostSurfaces = 4096;
constexpr std::uint64_t kMostBytes = std::uint64_t{1} << 24;

void CheckLayout(const ImageDesc& desc, std::uint32_t pitchFlags)
{
    std::uint64_t count = 0;
    std::uint64_t total = 0;
    if (FAILED(MeasureImage(desc, pitchFlags, count, total))) {
        Require(count == 0 && total == 0, "a failed measure reports nothing");
        return;
    }
    std::vector<ImageSurface> surfaces(static_cast<std::size_t>(std::min(count, kMostSurfaces)));
    const bool laidOut = LayOutSurfaces(nullptr, total, desc, pitchFlags, surfaces.data(), surfaces.size());
    if (count == 0 || count > kMostSurfaces) {
        Require(!laidOut, "no layout without surfaces or past the records' capacity");
        return;
    }
    Require(laidOut, "a measured description lays out");

    // Every surface in the order of the records, with its level's extent.
    const bool flat = desc.dimension != kImageDimension3D;
    std::uint64_t index = 0;
    std::uint64_t offset = 0;
    for (std::uint64_t layer = 0; layer < (flat ? desc.layerCount : 1); ++layer) {
        std::uint64_t width = desc.width;
        std::uint64_t height = desc.height;
        std::uint64_t depth = flat ? 1 : desc.depth;
        for (std::uint64_t mip = 0; mip < desc.mipCount; ++mip) {
            for (std::uint64_t slice = 0; slice < depth; ++slice, ++index) {
                Require(index < count && desc.SurfaceIndex(mip, layer, slice) == index,
                        "SurfaceIndex finds the record laid out");
                const ImageSurface& surface = surfaces[index];
                Require(surface.width == width && surface.height == height && surface.pixelFormat == desc.pixelFormat,
                        "the record has its level's extent and the image's format");
                offset += surface.sliceBytes;
            }
            width = NextMipExtent(width);
            height = NextMipExtent(height);
            depth = NextMipExtent(depth);
        }
    }
    Require(index == count && offset == total, "the records fill the measured block exactly");
    Require(desc.SurfaceIndex(desc.mipCount, 0, 0) == kNoSurface, "no surface past the last level");
}

// What the decoder does with a frame's size and format.
void CheckAllocation(ImageDesc desc, std::uint32_t pitchFlags)
{
    const std::uint64_t mips = desc.mipCount;
    std::uint64_t count = 0;
    std::uint64_t total = 0;
    desc.dimension = kImageDimension2D;
    if (!ResolveMipCount(desc.width, desc.height, desc.mipCount) ||
        FAILED(MeasureImage(desc, pitchFlags, count, total)) || count > kMostSurfaces || total > kMostBytes) {
        return;
    }
    ImageSet set;
    if (FAILED(set.Allocate2D(desc.pixelFormat, desc.width, desc.height, desc.layerCount, mips, pitchFlags))) {
        Require(set.surfaces == nullptr && set.pixelMemory == nullptr, "a failed allocation leaves an empty set");
        return;
    }
    Require(set.surfaceCount == count && set.byteSize == total, "the set holds what was measured");
    for (std::uint64_t layer = 0; layer < desc.layerCount; ++layer) {
        const ImageSurface* surface = set.SurfaceAt(0, layer, 0);
        Require(surface != nullptr && surface->pixels + surface->sliceBytes <= set.pixelMemory + set.byteSize,
                "each layer's first surface lies inside the block");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::size_t at = 0;
    const auto next = [&](std::size_t bytes) {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < bytes; ++i, ++at) {
            value |= std::uint64_t{at < size ? data[at] : std::uint8_t{0}} << (8 * i);
        }
        return value;
    };
    ImageDesc desc{};
    desc.pixelFormat = static_cast<DXGI_FORMAT>(next(4));
    desc.width = next(8);
    desc.height = next(8);
    desc.depth = next(8);
    desc.layerCount = next(8);
    desc.mipCount = next(8);
    const auto pitchFlags = static_cast<std::uint32_t>(next(4));
    desc.dimension = static_cast<std::int32_t>(next(1));

    std::uint64_t rowBytes = 0;
    std::uint64_t sliceBytes = 0;
    MeasureSurface(desc.pixelFormat, desc.width, desc.height, pitchFlags, rowBytes, sliceBytes);
    CheckLayout(desc, pitchFlags);
    CheckAllocation(desc, pitchFlags);
    return 0;
}
