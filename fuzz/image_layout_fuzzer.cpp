// Any image description, as a decoder could report one, measured and laid
// out the way the decoder and the texture builder use the container: every
// surface record is where SurfaceIndex says, and the records tile the pixel
// block exactly. Each is allocated too, on a heap that refuses what a real
// one could not give.
//
// Input: format (4 bytes), width, height, depth, layers, mips (8 each),
// pitch flags (4), dimension (1), all little-endian; missing bytes are 0.
#include "fuzz/fuzz_check.h"
#include "texture/image_set.h"

#include <vector>

namespace {

// Surface records the layout check lays out.
constexpr std::uint64_t kMostSurfaces = 4096;

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
    Require(desc.SurfaceIndex(desc.mipCount, 0, 0) == kNoSurface &&
                desc.SurfaceIndex(0, flat ? desc.layerCount : 1, 0) == kNoSurface &&
                desc.SurfaceIndex(0, 0, flat ? 1 : desc.depth) == kNoSurface,
            "no surface past the last level, layer or slice");
}

// What the decoder does with a frame's size and format.
void CheckAllocation(const ImageDesc& desc, std::uint32_t pitchFlags)
{
    ImageSet set;
    if (FAILED(set.Allocate2D(desc.pixelFormat, desc.width, desc.height, desc.layerCount, desc.mipCount, pitchFlags))) {
        Require(set.surfaces == nullptr && set.pixelMemory == nullptr && set.surfaceCount == 0 && set.byteSize == 0,
                "a failed allocation leaves an empty set");
        return;
    }
    std::uint64_t count = 0;
    std::uint64_t total = 0;
    Require(!FAILED(MeasureImage(set.desc, pitchFlags, count, total)) && set.surfaceCount == count &&
                set.byteSize == total,
            "the set holds what its description measures");
    for (std::uint64_t layer = 0; layer < desc.layerCount; ++layer) {
        const ImageSurface* surface = set.SurfaceAt(0, layer, 0);
        Require(surface != nullptr && surface->pixels + surface->sliceBytes <= set.pixelMemory + set.byteSize,
                "each layer's first surface lies inside the block");
    }
}

}  // namespace

// The heap refuses blocks above 24 MiB (libFuzzer itself takes 20), as a
// real one refuses what it cannot give.
// NOLINTNEXTLINE(readability-identifier-naming): the name AddressSanitizer looks for.
extern "C" const char* __asan_default_options()
{
    return "allocator_may_return_null=1:max_allocation_size_mb=24";
}

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
