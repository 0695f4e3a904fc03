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

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data(data), size(size) {}

    std::uint64_t Next(std::size_t bytes)
    {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < bytes; ++i, ++at) {
            value |= std::uint64_t{at < size ? data[at] : std::uint8_t{0}} << (8 * i);
        }
        return value;
    }

private:
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
};

// Every surface of the description, in the order LayOutSurfaces writes them, with its level's extent.
template <class Visit>
void ForEachSurface(const ImageDesc& desc, Visit visit)
{
    const bool flat = desc.dimension != kImageDimension3D;
    for (std::uint64_t layer = 0; layer < (flat ? desc.layerCount : 1); ++layer) {
        std::uint64_t width = desc.width;
        std::uint64_t height = desc.height;
        std::uint64_t depth = flat ? 1 : desc.depth;
        for (std::uint64_t mip = 0; mip < desc.mipCount; ++mip) {
            for (std::uint64_t slice = 0; slice < depth; ++slice) {
                visit(mip, layer, slice, width, height);
            }
            width = NextMipExtent(width);
            height = NextMipExtent(height);
            depth = NextMipExtent(depth);
        }
    }
}

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
    std::uint64_t index = 0;
    std::uint64_t offset = 0;
    ForEachSurface(desc, [&](std::uint64_t mip, std::uint64_t layer, std::uint64_t slice, std::uint64_t width,
                             std::uint64_t height) {
        Require(index < count, "the measure counts every surface");
        Require(desc.SurfaceIndex(mip, layer, slice) == index, "SurfaceIndex finds the record laid out");
        const ImageSurface& surface = surfaces[index++];
        Require(surface.width == width && surface.height == height, "the record has its level's extent");
        Require(surface.pixelFormat == desc.pixelFormat, "the record has the image's format");
        offset += surface.sliceBytes;
    });
    Require(index == count && offset == total, "the records fill the measured block exactly");
    Require(desc.SurfaceIndex(desc.mipCount, 0, 0) == kNoSurface, "no surface past the last level");
}

// What the decoder does with a frame's size and format.
void CheckAllocation(DXGI_FORMAT format, std::uint64_t width, std::uint64_t height, std::uint64_t layers,
                     std::uint64_t mips, std::uint32_t pitchFlags)
{
    std::uint64_t resolved = mips;
    if (!ResolveMipCount(width, height, resolved)) {
        return;
    }
    std::uint64_t count = 0;
    std::uint64_t total = 0;
    const ImageDesc desc{width, height, 1, layers, resolved, 0, 0, format, kImageDimension2D};
    if (FAILED(MeasureImage(desc, pitchFlags, count, total)) || count > kMostSurfaces || total > kMostBytes) {
        return;
    }
    ImageSet set;
    if (FAILED(set.Allocate2D(format, width, height, layers, mips, pitchFlags))) {
        Require(set.surfaces == nullptr && set.pixelMemory == nullptr, "a failed allocation leaves an empty set");
        return;
    }
    Require(set.surfaceCount == count && set.byteSize == total, "the set holds what was measured");
    for (std::uint64_t layer = 0; layer < layers; ++layer) {
        const ImageSurface* surface = set.SurfaceAt(0, layer, 0);
        Require(surface != nullptr && surface->pixels >= set.pixelMemory &&
                    surface->pixels + surface->sliceBytes <= set.pixelMemory + set.byteSize,
                "each layer's first surface lies inside the block");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input input(data, size);
    ImageDesc desc{};
    desc.pixelFormat = static_cast<DXGI_FORMAT>(input.Next(4));
    desc.width = input.Next(8);
    desc.height = input.Next(8);
    desc.depth = input.Next(8);
    desc.layerCount = input.Next(8);
    desc.mipCount = input.Next(8);
    const auto pitchFlags = static_cast<std::uint32_t>(input.Next(4));
    desc.dimension = static_cast<std::int32_t>(input.Next(1));

    std::uint64_t rowBytes = 0;
    std::uint64_t sliceBytes = 0;
    MeasureSurface(desc.pixelFormat, desc.width, desc.height, pitchFlags, rowBytes, sliceBytes);
    CheckLayout(desc, pitchFlags);
    CheckAllocation(desc.pixelFormat, desc.width, desc.height, desc.layerCount, desc.mipCount, pitchFlags);
    return 0;
}
