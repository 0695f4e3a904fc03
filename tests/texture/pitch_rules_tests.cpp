#include "tests/texture/texture_test_values.h"
#include "texture/pitch_rules.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

struct Measured {
    HRESULT status;
    std::uint64_t rowBytes;
    std::uint64_t sliceBytes;
};

Measured Measure(std::uint32_t format, std::uint64_t width, std::uint64_t height, std::uint32_t flags = 0)
{
    Measured m{E_FAIL, 0xDEAD, 0xBEEF};
    m.status = MeasureSurface(static_cast<DXGI_FORMAT>(format), width, height, flags, m.rowBytes, m.sliceBytes);
    return m;
}

void ExpectSizes(std::uint32_t format, std::uint64_t width, std::uint64_t height, std::uint32_t flags,
                 std::uint64_t rowBytes, std::uint64_t sliceBytes)
{
    SCOPED_TRACE(testing::Message() << "format " << format << " at " << width << "x" << height << " flags 0x"
                                    << std::hex << flags);
    const Measured m = Measure(format, width, height, flags);
    ASSERT_EQ(m.status, S_OK);
    EXPECT_EQ(m.rowBytes, rowBytes);
    EXPECT_EQ(m.sliceBytes, sliceBytes);
}

TEST(MeasureSurface, BlockCompressedCountsPartialBlocksAndAtLeastOne)
{
    ExpectSizes(71, 1, 1, 0, 8, 8);     // BC1: one 8-byte block
    ExpectSizes(77, 5, 5, 0, 32, 64);   // BC3: 2x2 blocks of 16
    ExpectSizes(80, 0, 0, 0, 8, 8);     // BC4 never below one block
    ExpectSizes(95, 17, 4, 0, 80, 80);  // BC6H: 5 blocks wide
    ExpectSizes(99, 8, 12, 0, 32, 96);  // BC7 sRGB
    ExpectSizes(83, 4, 4, 0, 16, 16);   // BC5
    ExpectSizes(73, 4, 8, 0, 16, 32);   // BC2
}

TEST(MeasureSurface, WholeBlocksOnlyDropsPartialBlocks)
{
    ExpectSizes(71, 2, 2, WholeBlocksOnly, 1, 1);
    ExpectSizes(71, 9, 9, WholeBlocksOnly, 16, 32);
    ExpectSizes(97, 4, 3, WholeBlocksOnly, 16, 1);
}

TEST(MeasureSurface, PackedFormatsIgnorePitchFlags)
{
    ExpectSizes(107, 5, 3, 0, 12, 36);            // YUY2: 4 x ⌈5/2⌉
    ExpectSizes(68, 5, 3, RowAlign4096, 12, 36);  // flags have no effect
    ExpectSizes(108, 3, 2, 0, 16, 32);            // Y210
    ExpectSizes(103, 6, 4, 0, 6, 36);             // NV12
    ExpectSizes(103, 5, 4, Force8Bits, 6, 36);    // rounded to even, flags ignored
    ExpectSizes(104, 5, 2, 0, 12, 36);            // P010
    ExpectSizes(119, 5, 3, 0, 12, 60);            // odd heights accepted here
    ExpectSizes(110, 5, 3, 0, 8, 48);             // NV11: width to multiple of 4
    ExpectSizes(130, 5, 3, 0, 6, 36);             // P208
    ExpectSizes(131, 5, 4, 0, 5, 40);             // V208
    ExpectSizes(132, 5, 3, 0, 5, 35);             // V408: 5 x (3 + 4 x 1)
}

TEST(MeasureSurface, PlanarFormatsRejectOddHeights)
{
    for (std::uint32_t format : {103u, 106u, 104u, 105u, 131u}) {
        SCOPED_TRACE(format);
        const Measured m = Measure(format, 6, 3);
        EXPECT_EQ(m.status, E_INVALIDARG);
        EXPECT_EQ(m.rowBytes, 0xDEADu);  // outputs untouched on failure
    }
}

TEST(MeasureSurface, BitsPerPixelTable)
{
    struct Row {
        std::uint32_t format;
        std::uint64_t bits;
    };
    // The first and last number of each range, plus the stragglers.
    const Row rows[] = {{1, 128},  {4, 128}, {5, 96},  {8, 96},  {9, 64},   {22, 64},  {102, 64}, {23, 32},
                        {47, 32},  {67, 32}, {87, 32}, {93, 32}, {100, 32}, {101, 32}, {116, 32}, {117, 32},
                        {189, 32}, {48, 16}, {59, 16}, {85, 16}, {86, 16},  {114, 16}, {115, 16}, {60, 8},
                        {65, 8},   {111, 8}, {112, 8}, {113, 8}, {190, 8}};
    for (const Row& row : rows) {
        ExpectSizes(row.format, 16, 2, 0, 2 * row.bits, 4 * row.bits);
    }
}

TEST(MeasureSurface, UnknownFormatNumbersAreRejected)
{
    for (std::uint32_t format : {0u, 121u, 125u, 129u, 133u, 160u, 188u, 191u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(format);
        EXPECT_EQ(Measure(format, 4, 4).status, E_INVALIDARG);
    }
}

TEST(MeasureSurface, ForcedBitCountsIgnoreTheFormat)
{
    ExpectSizes(0, 10, 2, Force24Bits, 30, 60);  // even an unknown number
    ExpectSizes(2, 10, 2, Force16Bits, 20, 40);
    ExpectSizes(2, 10, 2, Force8Bits, 10, 20);
    ExpectSizes(2, 10, 2, Force24Bits | Force8Bits, 30, 60);  // 24 wins
    ExpectSizes(71, 8, 8, Force8Bits, 16, 32);                // blocks are not forced
}

TEST(MeasureSurface, RowAlignmentUsesTheWidestFlag)
{
    ExpectSizes(66, 9, 1, 0, 2, 2);  // R1: 9 bits
    ExpectSizes(66, 9, 1, RowAlign4, 4, 4);
    ExpectSizes(28, 3, 1, RowAlign16, 16, 16);
    ExpectSizes(28, 3, 1, RowAlign4096, 4096, 4096);
    ExpectSizes(28, 9, 2, RowAlign32, 64, 128);
    ExpectSizes(28, 9, 2, RowAlign64, 64, 128);
    ExpectSizes(28, 17, 1, RowAlign64 | RowAlign4, 128, 128);
    ExpectSizes(28, 3, 1, RowAlign4 | RowAlign4096, 4096, 4096);
    ExpectSizes(28, 4, 1, RowAlign16, 16, 16);  // already aligned
}

TEST(MeasureSurface, SizesThatDoNotFitIn64BitsAreRejected)
{
    const std::uint64_t big = std::uint64_t{1} << 62;
    EXPECT_EQ(Measure(2, big, 1).status, kOverflow);                            // width x 128 bits
    EXPECT_EQ(Measure(28, std::uint64_t{1} << 40, 1 << 30).status, kOverflow);  // row x height
    EXPECT_EQ(Measure(71, kMax, 1).status, kOverflow);                          // blocks x 8 bytes
    EXPECT_EQ(Measure(77, 1 << 30, kMax).status, kOverflow);                    // block rows
    EXPECT_EQ(Measure(71, kMax, 4, WholeBlocksOnly).status, kOverflow);
    EXPECT_EQ(Measure(103, big, big).status, kOverflow);  // planar rows
    EXPECT_EQ(Measure(120, 4, kMax).status, kOverflow);   // height + ⌈height/2⌉
    EXPECT_EQ(Measure(132, 8, kMax).status, kOverflow);
    EXPECT_EQ(Measure(110, kMax, 1).status, kOverflow);  // width rounded to 4
    // The largest that fits still measures.
    EXPECT_EQ(Measure(61, kMax, 1).status, kOverflow);
    ExpectSizes(61, kMax / 8, 1, 0, kMax / 8, kMax / 8);
    ExpectSizes(66, kMax, 1, 0, std::uint64_t{1} << 61, std::uint64_t{1} << 61);
    ExpectSizes(66, kMax, 1, RowAlign4096, std::uint64_t{1} << 61, std::uint64_t{1} << 61);
}

TEST(ResolveMipCount, FullChainLengths)
{
    struct Row {
        std::uint64_t width, height, full;
    };
    for (const Row& row :
         {Row{256, 256, 9}, Row{1, 1, 1}, Row{640, 480, 10}, Row{5, 3, 3}, Row{1, 4096, 13}, Row{kMax, 1, 64}}) {
        SCOPED_TRACE(testing::Message() << row.width << "x" << row.height);
        std::uint64_t mips = 0;
        EXPECT_TRUE(ResolveMipCount(row.width, row.height, mips));
        EXPECT_EQ(mips, row.full);
        mips = row.full;
        EXPECT_TRUE(ResolveMipCount(row.width, row.height, mips));
        mips = row.full + 1;
        EXPECT_FALSE(ResolveMipCount(row.width, row.height, mips));
    }
    std::uint64_t one = 1;
    EXPECT_TRUE(ResolveMipCount(1, 1, one));
    EXPECT_EQ(one, 1u);
}

TEST(SrgbTwins, SevenPairsBothWaysOthersUnchanged)
{
    const std::uint32_t pairs[][2] = {{28, 29}, {71, 72}, {74, 75}, {77, 78}, {87, 91}, {88, 93}, {98, 99}};
    for (const auto& pair : pairs) {
        const auto linear = static_cast<DXGI_FORMAT>(pair[0]);
        const auto srgb = static_cast<DXGI_FORMAT>(pair[1]);
        EXPECT_EQ(WithSrgb(linear), srgb);
        EXPECT_EQ(WithoutSrgb(srgb), linear);
        EXPECT_EQ(WithSrgb(srgb), srgb);
        EXPECT_EQ(WithoutSrgb(linear), linear);
    }
    EXPECT_EQ(WithSrgb(static_cast<DXGI_FORMAT>(2)), static_cast<DXGI_FORMAT>(2));
    EXPECT_EQ(WithoutSrgb(static_cast<DXGI_FORMAT>(92)), static_cast<DXGI_FORMAT>(92));
}

}  // namespace
