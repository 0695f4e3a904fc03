#include "tests/texture/texture_test_values.h"
#include "texture/image_set.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

void ExpectEmpty(const ImageSet& set)
{
    EXPECT_EQ(set.surfaceCount, 0u);
    EXPECT_EQ(set.byteSize, 0u);
    EXPECT_EQ(set.surfaces, nullptr);
    EXPECT_EQ(set.pixelMemory, nullptr);
    EXPECT_EQ(set.desc.width, 0u);
    EXPECT_EQ(set.desc.mipCount, 0u);
    EXPECT_EQ(set.desc.dimension, 0);
}

// Surfaces lie back to back from the block's start and fill it exactly.
void ExpectPacked(const ImageSet& set)
{
    std::uint64_t offset = 0;
    for (std::uint64_t i = 0; i < set.surfaceCount; ++i) {
        EXPECT_EQ(set.surfaces[i].pixels, set.pixelMemory + offset) << "surface " << i;
        EXPECT_EQ(set.surfaces[i].pixelFormat, set.desc.pixelFormat);
        offset += set.surfaces[i].sliceBytes;
    }
    EXPECT_EQ(offset, set.byteSize);
}

ImageDesc Desc3D(std::uint64_t w, std::uint64_t h, std::uint64_t d, std::uint64_t mips)
{
    return ImageDesc{w, h, d, 1, mips, 0, 0, kRgba, kImageDimension3D};
}

TEST(Allocate2D, FullChainOf256Square)
{
    ImageSet set;
    ASSERT_EQ(set.Allocate2D(kRgba, 256, 256, 1, 0, 0), S_OK);
    EXPECT_EQ(set.surfaceCount, 9u);
    EXPECT_EQ(set.byteSize, 349524u);
    EXPECT_EQ(set.desc.mipCount, 9u);
    EXPECT_EQ(set.desc.depth, 1u);
    EXPECT_EQ(set.desc.layerCount, 1u);
    EXPECT_EQ(set.desc.dimension, kImageDimension2D);
    EXPECT_EQ(set.desc.extraFlags, 0u);
    EXPECT_EQ(set.surfaces[0].rowBytes, 1024u);
    EXPECT_EQ(set.surfaces[0].sliceBytes, 262144u);
    for (std::uint64_t mip = 0; mip < 9; ++mip) {
        EXPECT_EQ(set.surfaces[mip].width, 256u >> mip);
        EXPECT_EQ(set.surfaces[mip].height, 256u >> mip);
    }
    ExpectPacked(set);
}

TEST(Allocate2D, OddSizesHalveDownToOne)
{
    ImageSet set;
    ASSERT_EQ(set.Allocate2D(kRgba, 5, 3, 1, 0, 0), S_OK);
    ASSERT_EQ(set.surfaceCount, 3u);
    const std::uint64_t expected[3][2] = {{5, 3}, {2, 1}, {1, 1}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(set.surfaces[i].width, expected[i][0]);
        EXPECT_EQ(set.surfaces[i].height, expected[i][1]);
    }
    EXPECT_EQ(set.byteSize, 60u + 8u + 4u);
    ExpectPacked(set);
}

TEST(Allocate2D, BlockIsAlignedZeroFilledAndLayersFollowEachOther)
{
    ImageSet set;
    // An odd row size so the surfaces themselves are not all 16-byte multiples.
    ASSERT_EQ(set.Allocate2D(static_cast<DXGI_FORMAT>(61), 7, 5, 3, 2, 0), S_OK);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(set.pixelMemory) % 16, 0u);
    EXPECT_EQ(set.surfaceCount, 6u);
    EXPECT_EQ(set.byteSize, 3u * (35 + 6));
    ExpectPacked(set);
    for (std::uint64_t i = 0; i < set.byteSize; ++i) {
        ASSERT_EQ(set.pixelMemory[i], 0) << i;
    }
    // Layer 1, mip 1 is the fourth record.
    EXPECT_EQ(set.SurfaceAt(1, 1, 0), &set.surfaces[3]);
    EXPECT_EQ(set.SurfaceAt(1, 1, 0)->width, 3u);
}

TEST(Allocate2D, PitchFlagsReachTheLayout)
{
    ImageSet set;
    ASSERT_EQ(set.Allocate2D(kRgba, 3, 2, 1, 1, RowAlign64), S_OK);
    EXPECT_EQ(set.surfaces[0].rowBytes, 64u);
    EXPECT_EQ(set.byteSize, 128u);
}

TEST(Allocate2D, RejectsBadArgumentsAndLeavesTheSetEmpty)
{
    struct Case {
        std::uint32_t format;
        std::uint64_t width, height, layers, mips;
        HRESULT expected;
    };
    const Case cases[] = {
        {0, 4, 4, 1, 1, E_INVALIDARG},    {191, 4, 4, 1, 1, E_INVALIDARG},  {28, 0, 4, 1, 1, E_INVALIDARG},
        {28, 4, 0, 1, 1, E_INVALIDARG},   {28, 4, 4, 0, 1, E_INVALIDARG},   {28, 4, 4, 1, 4, E_INVALIDARG},
        {113, 4, 4, 1, 1, kNotSupported}, {111, 4, 4, 1, 1, kNotSupported}, {114, 4, 4, 1, 1, kNotSupported},
        {125, 4, 4, 1, 1, E_INVALIDARG},  {103, 4, 3, 1, 1, E_INVALIDARG},  // NV12 with an odd height
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "format " << c.format << " " << c.width << "x" << c.height << " layers "
                                        << c.layers << " mips " << c.mips);
        ImageSet set;
        EXPECT_EQ(set.Allocate2D(static_cast<DXGI_FORMAT>(c.format), c.width, c.height, c.layers, c.mips, 0),
                  c.expected);
        ExpectEmpty(set);
    }
    ImageSet set;
    EXPECT_EQ(set.Allocate2D(kRgba, 4, 4, 1, 3, 0), S_OK);  // 3 levels fit 4x4
}

TEST(Allocate2D, ReplacesEarlierContentsAndFailureEmptiesTheSet)
{
    ImageSet set;
    ASSERT_EQ(set.Allocate2D(kRgba, 64, 64, 2, 0, 0), S_OK);
    ASSERT_EQ(set.Allocate2D(static_cast<DXGI_FORMAT>(2), 2, 2, 1, 1, 0), S_OK);
    EXPECT_EQ(set.surfaceCount, 1u);
    EXPECT_EQ(set.byteSize, 64u);
    EXPECT_EQ(set.desc.pixelFormat, static_cast<DXGI_FORMAT>(2));

    // Rejected arguments empty a filled set too.
    ASSERT_EQ(set.Allocate2D(kRgba, 8, 8, 1, 1, 0), S_OK);
    EXPECT_EQ(set.Allocate2D(kRgba, 0, 8, 1, 1, 0), E_INVALIDARG);
    ExpectEmpty(set);

    // A size that measures but that no allocator can give: 2^60 bytes.
    EXPECT_EQ(set.Allocate2D(kRgba, std::uint64_t{1} << 30, std::uint64_t{1} << 28, 1, 1, 0), E_OUTOFMEMORY);
    ExpectEmpty(set);
    set.Clear();  // clearing an empty set is harmless
    ExpectEmpty(set);
}

TEST(Allocate2D, SurfaceArrayThatCannotBeAllocatedIsOutOfMemory)
{
    ImageSet set;
    // 2^58 one-byte surfaces: their records alone overflow a byte count.
    EXPECT_EQ(set.Allocate2D(static_cast<DXGI_FORMAT>(61), 1, 1, std::uint64_t{1} << 58, 1, 0), E_OUTOFMEMORY);
    ExpectEmpty(set);
    // 2^45 records: a byte count that fits in 64 bits but that no heap grants.
    EXPECT_EQ(set.Allocate2D(static_cast<DXGI_FORMAT>(61), 1, 1, std::uint64_t{1} << 45, 1, 0), E_OUTOFMEMORY);
    ExpectEmpty(set);
}

TEST(Allocate2D, SizesThatWouldWrapAreRejectedNotWrapped)
{
    ImageSet set;
    // Row x height wraps.
    EXPECT_EQ(set.Allocate2D(static_cast<DXGI_FORMAT>(2), std::uint64_t{1} << 40, std::uint64_t{1} << 30, 1, 1, 0),
              kOverflow);
    ExpectEmpty(set);
    // One layer fits, the layers together wrap: 2^32 bytes x 2^33 layers.
    EXPECT_EQ(set.Allocate2D(kRgba, 1 << 16, 1 << 14, std::uint64_t{1} << 33, 1, 0), kOverflow);
    ExpectEmpty(set);
    // The chain total of one layer wraps although its first level fits.
    EXPECT_EQ(set.Allocate2D(static_cast<DXGI_FORMAT>(61), std::uint64_t{1} << 32, std::uint64_t{7} << 29, 1, 0, 0),
              kOverflow);
    ExpectEmpty(set);
}

TEST(MeasureImage, CountsLayersMipsAndSlices)
{
    std::uint64_t count = 7;
    std::uint64_t bytes = 7;
    ImageDesc flat{8, 8, 1, 3, 4, 0, 0, kRgba, kImageDimension2D};
    ASSERT_EQ(MeasureImage(flat, 0, count, bytes), S_OK);
    EXPECT_EQ(count, 12u);
    EXPECT_EQ(bytes, 3u * (256 + 64 + 16 + 4));

    ImageDesc line{8, 1, 1, 2, 2, 0, 0, kRgba, kImageDimension1D};
    ASSERT_EQ(MeasureImage(line, 0, count, bytes), S_OK);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(bytes, 2u * (32 + 16));

    // 3-D, 4x4x4 with 3 levels: 4 + 2 + 1 slices.
    ASSERT_EQ(MeasureImage(Desc3D(4, 4, 4, 3), 0, count, bytes), S_OK);
    EXPECT_EQ(count, 7u);
    EXPECT_EQ(bytes, 4u * 64 + 2u * 16 + 1u * 4);

    // Levels past 1x1 keep adding 1x1 surfaces, counted without a walk.
    ImageDesc longChain{2, 2, 1, 1, std::uint64_t{1} << 40, 0, 0, kRgba, kImageDimension2D};
    ASSERT_EQ(MeasureImage(longChain, 0, count, bytes), S_OK);
    EXPECT_EQ(count, std::uint64_t{1} << 40);
    EXPECT_EQ(bytes, 16 + 4 * ((std::uint64_t{1} << 40) - 1));
}

TEST(MeasureImage, FailuresZeroBothOutputs)
{
    std::uint64_t count = 7;
    std::uint64_t bytes = 7;
    ImageDesc desc{4, 4, 1, 1, 1, 0, 0, kRgba, 0};
    EXPECT_EQ(MeasureImage(desc, 0, count, bytes), E_INVALIDARG);  // no dimension
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(bytes, 0u);

    desc.dimension = kImageDimension2D;
    desc.pixelFormat = static_cast<DXGI_FORMAT>(130 + 3);
    count = bytes = 7;
    EXPECT_EQ(MeasureImage(desc, 0, count, bytes), E_INVALIDARG);
    EXPECT_EQ(count + bytes, 0u);

    ImageDesc wraps{1 << 20, 1 << 20, 1, kMax / 2, 1, 0, 0, kRgba, kImageDimension2D};
    count = bytes = 7;
    EXPECT_EQ(MeasureImage(wraps, 0, count, bytes), kOverflow);
    EXPECT_EQ(count + bytes, 0u);

    ImageDesc deep = Desc3D(1 << 20, 1 << 20, std::uint64_t{1} << 40, 1);
    count = bytes = 7;
    EXPECT_EQ(MeasureImage(deep, 0, count, bytes), kOverflow);
    EXPECT_EQ(count + bytes, 0u);
}

TEST(LayOutSurfaces, ThreeDimensionalSlicesShareTheirLevelsSizes)
{
    const ImageDesc desc = Desc3D(4, 4, 4, 3);
    std::vector<std::uint8_t> block(4 * 64 + 2 * 16 + 4);
    std::vector<ImageSurface> surfaces(7);
    ASSERT_TRUE(LayOutSurfaces(block.data(), block.size(), desc, 0, surfaces.data(), 7));
    std::uint64_t offset = 0;
    const std::uint64_t widths[7] = {4, 4, 4, 4, 2, 2, 1};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(surfaces[i].width, widths[i]);
        EXPECT_EQ(surfaces[i].rowBytes, widths[i] * 4);
        EXPECT_EQ(surfaces[i].pixels, block.data() + offset);
        offset += surfaces[i].sliceBytes;
    }
    EXPECT_EQ(offset, block.size());
}

TEST(LayOutSurfaces, RefusesWhatDoesNotFit)
{
    const ImageDesc desc{4, 4, 1, 2, 1, 0, 0, kRgba, kImageDimension2D};
    std::vector<std::uint8_t> block(128);
    std::vector<ImageSurface> surfaces(2);
    EXPECT_TRUE(LayOutSurfaces(block.data(), 128, desc, 0, surfaces.data(), 2));
    EXPECT_FALSE(LayOutSurfaces(block.data(), 128, desc, 0, nullptr, 2));
    EXPECT_FALSE(LayOutSurfaces(block.data(), 128, desc, 0, surfaces.data(), 1));  // capacity
    EXPECT_FALSE(LayOutSurfaces(block.data(), 127, desc, 0, surfaces.data(), 2));  // block
    // The first record was written before the block ran out.
    EXPECT_EQ(surfaces[0].pixels, block.data());

    ImageDesc noLayers = desc;
    noLayers.layerCount = 0;
    EXPECT_FALSE(LayOutSurfaces(block.data(), 128, noLayers, 0, surfaces.data(), 2));
    ImageDesc noMips = desc;
    noMips.mipCount = 0;
    EXPECT_FALSE(LayOutSurfaces(block.data(), 128, noMips, 0, surfaces.data(), 2));
    ImageDesc flatDepth0 = Desc3D(4, 4, 0, 1);
    EXPECT_FALSE(LayOutSurfaces(block.data(), 128, flatDepth0, 0, surfaces.data(), 2));
    ImageDesc unknown = desc;
    unknown.dimension = 5;
    EXPECT_FALSE(LayOutSurfaces(block.data(), 128, unknown, 0, surfaces.data(), 2));
    ImageDesc badFormat = desc;
    badFormat.pixelFormat = static_cast<DXGI_FORMAT>(0);
    EXPECT_FALSE(LayOutSurfaces(block.data(), 128, badFormat, 0, surfaces.data(), 2));
}

TEST(SurfaceIndex, FlatImagesStoreLayersOfMipChains)
{
    const ImageDesc desc{8, 8, 1, 2, 3, 0, 0, kRgba, kImageDimension2D};
    EXPECT_EQ(desc.SurfaceIndex(0, 0, 0), 0u);
    EXPECT_EQ(desc.SurfaceIndex(2, 0, 0), 2u);
    EXPECT_EQ(desc.SurfaceIndex(0, 1, 0), 3u);
    EXPECT_EQ(desc.SurfaceIndex(2, 1, 0), 5u);
    EXPECT_EQ(desc.SurfaceIndex(3, 0, 0), kNoSurface);
    EXPECT_EQ(desc.SurfaceIndex(0, 2, 0), kNoSurface);
    EXPECT_EQ(desc.SurfaceIndex(0, 0, 1), kNoSurface);
    ImageDesc other = desc;
    other.dimension = 1;
    EXPECT_EQ(other.SurfaceIndex(0, 0, 0), kNoSurface);
    EXPECT_EQ(ImageDesc{}.SurfaceIndex(0, 0, 0), kNoSurface);
    // A product past 64 bits is no surface, not a wrapped index.
    const ImageDesc huge{1, 1, 1, kMax, kMax, 0, 0, kRgba, kImageDimension2D};
    EXPECT_EQ(huge.SurfaceIndex(1, kMax - 1, 0), kNoSurface);
}

TEST(SurfaceIndex, ThreeDimensionalImagesStoreSlicesPerLevel)
{
    const ImageDesc desc = Desc3D(4, 4, 4, 3);
    EXPECT_EQ(desc.SurfaceIndex(0, 0, 3), 3u);
    EXPECT_EQ(desc.SurfaceIndex(1, 0, 1), 5u);
    EXPECT_EQ(desc.SurfaceIndex(2, 0, 0), 6u);
    EXPECT_EQ(desc.SurfaceIndex(2, 0, 1), kNoSurface);
    EXPECT_EQ(desc.SurfaceIndex(0, 0, 4), kNoSurface);
    EXPECT_EQ(desc.SurfaceIndex(0, 1, 0), kNoSurface);
    EXPECT_EQ(desc.SurfaceIndex(3, 0, 0), kNoSurface);
    // Deep chains past depth 1 add one slice per level.
    const ImageDesc deep = Desc3D(1, 1, 8, kMax);
    EXPECT_EQ(deep.SurfaceIndex(10, 0, 0), 8u + 4 + 2 + 1 + 6);
    EXPECT_EQ(deep.SurfaceIndex(kMax - 1, 0, 0), kNoSurface);  // the sum would wrap
}

TEST(SurfaceAt, FindsOnlySurfacesTheSetHas)
{
    ImageSet set;
    EXPECT_EQ(set.SurfaceAt(0, 0, 0), nullptr);
    ASSERT_EQ(set.Allocate2D(kRgba, 4, 4, 1, 1, 0), S_OK);
    EXPECT_EQ(set.SurfaceAt(0, 0, 0), &set.surfaces[0]);
    EXPECT_EQ(set.SurfaceAt(0, 1, 0), nullptr);
    EXPECT_EQ(set.SurfaceAt(1, 0, 0), nullptr);
    EXPECT_EQ(set.SurfaceAt(0, 0, 1), nullptr);
    // A description edited by hand cannot lead past the array.
    set.desc.layerCount = 5;
    EXPECT_EQ(set.SurfaceAt(0, 4, 0), nullptr);
    const ImageSet& constSet = set;
    EXPECT_EQ(constSet.SurfaceAt(0, 0, 0), &set.surfaces[0]);
    set.Clear();
    EXPECT_EQ(set.SurfaceAt(0, 0, 0), nullptr);
}

}  // namespace
