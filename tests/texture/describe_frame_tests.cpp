#include "tests/texture/texture_test_values.h"
#include "tests/texture/wic_fakes.h"
#include "texture/image_decoder.h"
#include "texture/wic_formats.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// One frame in a decoder, with a metadata reader; each test adjusts them.
class Describe : public testing::Test {
protected:
    void SetUp() override
    {
        frame.reader = &reader;
        decoder.frames = {&frame};
    }
    void TearDown() override
    {
        // Everything handed out was given back.
        EXPECT_EQ(frame.references, 1u);
        EXPECT_EQ(reader.references, 1u);
        EXPECT_EQ(decoder.references, 1u);
    }
    HRESULT Run(std::uint32_t flags, bool isFactory2 = true, const MetadataCallback& callback = {})
    {
        target = GUID{1, 2, 3, {4}};
        return DescribeFrame(flags, isFactory2, &decoder, &frame, desc, &target, callback);
    }
    void SetValue(const wchar_t* name, VARTYPE type, ULONG value)
    {
        reader.values[name] = FakeMetadataValue{S_OK, type, value};
    }

    FakeReader reader;
    FakeFrame frame;
    FakeDecoder decoder;
    ImageDesc desc{};
    GUID target{};
};

TEST_F(Describe, FillsSizeLayersAndTheRestOfTheDescription)
{
    frame.width = 640;
    frame.height = 480;
    desc = ImageDesc{9, 9, 9, 9, 9, 0xFF, 0xFF, DXGI_FORMAT_R1_UNORM, 9};
    ASSERT_EQ(Run(0), S_OK);
    EXPECT_EQ(desc.width, 640u);
    EXPECT_EQ(desc.height, 480u);
    EXPECT_EQ(desc.depth, 1u);
    EXPECT_EQ(desc.layerCount, 1u);
    EXPECT_EQ(desc.mipCount, 1u);
    EXPECT_EQ(desc.optionFlags, 0u);
    EXPECT_EQ(desc.extraFlags, 0u);
    EXPECT_EQ(desc.pixelFormat, DXGI_FORMAT_B8G8R8A8_UNORM);
    EXPECT_EQ(desc.dimension, kImageDimension2D);
    EXPECT_TRUE(IsEqualGUID(target, GUID_NULL));

    FakeFrame second;
    FakeFrame third;
    decoder.frames = {&frame, &second, &third};
    ASSERT_EQ(Run(AllFrames), S_OK);
    EXPECT_EQ(desc.layerCount, 3u);
}

TEST_F(Describe, PassesOnFailuresOfTheFrameAndDecoder)
{
    EXPECT_EQ(DescribeFrame(0, true, nullptr, &frame, desc, nullptr, {}), E_POINTER);
    EXPECT_EQ(DescribeFrame(0, true, &decoder, nullptr, desc, nullptr, {}), E_POINTER);

    frame.sizeStatus = E_ACCESSDENIED;
    EXPECT_EQ(Run(0), E_ACCESSDENIED);
    frame.sizeStatus = S_OK;

    decoder.frameCountStatus = E_OUTOFMEMORY;
    EXPECT_EQ(Run(0), S_OK);  // the count is asked for only with AllFrames
    EXPECT_EQ(Run(AllFrames), E_OUTOFMEMORY);
    decoder.frameCountStatus = S_OK;

    frame.formatStatus = WINCODEC_ERR_BADHEADER;
    EXPECT_EQ(Run(0), WINCODEC_ERR_BADHEADER);
    frame.formatStatus = S_OK;

    // Container failure: returned before any metadata is read or handed out.
    decoder.containerStatus = E_HANDLE;
    frame.readerRequests = 0;
    int calls = 0;
    EXPECT_EQ(Run(0, true, [&](IWICMetadataQueryReader*) { ++calls; }), E_HANDLE);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(frame.readerRequests, 0);
}

TEST_F(Describe, ConversionRowsSetTargetFormatAndAlphaMode)
{
    struct Case {
        const GUID& frameFormat;
        std::uint32_t flags;
        DXGI_FORMAT format;
        const GUID& target;
        std::uint32_t alphaMode;
    };
    const Case cases[] = {
        {GUID_WICPixelFormat24bppBGR, 0, DXGI_FORMAT_R8G8B8A8_UNORM, GUID_WICPixelFormat32bppRGBA, 3},
        {GUID_WICPixelFormat8bppIndexed, 0, DXGI_FORMAT_R8G8B8A8_UNORM, GUID_WICPixelFormat32bppRGBA, 0},
        {GUID_WICPixelFormat48bppBGR, 0, DXGI_FORMAT_R16G16B16A16_UNORM, GUID_WICPixelFormat64bppRGBA, 3},
        {GUID_WICPixelFormat32bppRGBE, 0, DXGI_FORMAT_R32G32B32A32_FLOAT, GUID_WICPixelFormat128bppRGBAFloat, 3},
        {GUID_WICPixelFormat64bppPRGBAHalf, 0, DXGI_FORMAT_R16G16B16A16_FLOAT, GUID_WICPixelFormat64bppRGBAHalf, 0},
        {GUID_WICPixelFormat4bppGray, 0, DXGI_FORMAT_R8_UNORM, GUID_WICPixelFormat8bppGray, 0},
        // Rows feeding the adjustments: 555 becomes 5551, then widens.
        {GUID_WICPixelFormat16bppBGR555, 0, DXGI_FORMAT_B5G5R5A1_UNORM, GUID_WICPixelFormat16bppBGRA5551, 3},
        {GUID_WICPixelFormat16bppBGR555, Widen16Bit, DXGI_FORMAT_R8G8B8A8_UNORM, GUID_WICPixelFormat32bppRGBA, 3},
        // Adjustments of directly usable formats.
        {GUID_WICPixelFormatBlackWhite, 0, DXGI_FORMAT_R8_UNORM, GUID_WICPixelFormat8bppGray, 0},
        {GUID_WICPixelFormatBlackWhite, KeepOneBit, DXGI_FORMAT_R1_UNORM, GUID_NULL, 0},
        {GUID_WICPixelFormat16bppBGR565, 0, DXGI_FORMAT_B5G6R5_UNORM, GUID_NULL, 0},
        {GUID_WICPixelFormat16bppBGR565, Widen16Bit, DXGI_FORMAT_R8G8B8A8_UNORM, GUID_WICPixelFormat32bppRGBA, 0},
        {GUID_WICPixelFormat32bppBGR, BgraAsRgba, DXGI_FORMAT_R8G8B8A8_UNORM, GUID_WICPixelFormat32bppRGBA, 0},
        {GUID_WICPixelFormat32bppRGBA1010102XR, 0, DXGI_FORMAT_R10G10B10_XR_BIAS_A2_UNORM, GUID_NULL, 0},
        {GUID_WICPixelFormat32bppRGBA1010102XR, XrBiasAsUnorm, DXGI_FORMAT_R10G10B10A2_UNORM,
         GUID_WICPixelFormat32bppRGBA1010102, 0},
        // Flags for other formats change nothing.
        {GUID_WICPixelFormat8bppGray, BgraAsRgba | Widen16Bit | XrBiasAsUnorm, DXGI_FORMAT_R8_UNORM, GUID_NULL, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "expected format " << c.format << " flags " << c.flags);
        frame.format = c.frameFormat;
        ASSERT_EQ(Run(c.flags | SkipColorMetadata), S_OK);
        EXPECT_EQ(desc.pixelFormat, c.format);
        EXPECT_TRUE(IsEqualGUID(target, c.target));
        EXPECT_EQ(desc.extraFlags, c.alphaMode);
    }
}

TEST_F(Describe, FixedPoint96BitDependsOnTheFactoryVersion)
{
    frame.format = GUID_WICPixelFormat96bppRGBFixedPoint;
    ASSERT_EQ(Run(0, true), S_OK);
    EXPECT_EQ(desc.pixelFormat, DXGI_FORMAT_R32G32B32_FLOAT);
    EXPECT_TRUE(IsEqualGUID(target, GUID_WICPixelFormat96bppRGBFloat));
    EXPECT_EQ(desc.extraFlags, 0u);

    ASSERT_EQ(Run(0, false), S_OK);
    EXPECT_EQ(desc.pixelFormat, DXGI_FORMAT_R32G32B32A32_FLOAT);
    EXPECT_TRUE(IsEqualGUID(target, GUID_WICPixelFormat128bppRGBAFloat));
    EXPECT_EQ(desc.extraFlags, 3u);

    // A frame already in 96bppRGBFloat is usable only with the version-2 factory.
    frame.format = GUID_WICPixelFormat96bppRGBFloat;
    ASSERT_EQ(Run(0, true), S_OK);
    EXPECT_EQ(desc.pixelFormat, DXGI_FORMAT_R32G32B32_FLOAT);
    EXPECT_EQ(Run(0, false), kNotSupported);
}

TEST_F(Describe, UnknownFrameFormatIsNotSupported)
{
    frame.format = GUID{0x12345678, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
    EXPECT_EQ(Run(0), kNotSupported);
    EXPECT_TRUE(IsEqualGUID(target, GUID_NULL));
}

TEST_F(Describe, PngSrgbChunkOrGammaDecide)
{
    SetValue(L"/sRGB/RenderingIntent", VT_UI1, 0);
    ASSERT_EQ(Run(0), S_OK);
    EXPECT_EQ(desc.pixelFormat, DXGI_FORMAT_B8G8R8A8_UNORM_SRGB);
    EXPECT_EQ(reader.asked, std::vector<std::wstring>{L"/sRGB/RenderingIntent"});

    // Gamma 1/2.2 (45455) is sRGB; linear gamma stays linear even with AssumeSrgb.
    reader.values.clear();
    SetValue(L"/gAMA/ImageGamma", VT_UI4, 45455);
    ASSERT_EQ(Run(0), S_OK);
    EXPECT_EQ(desc.pixelFormat, DXGI_FORMAT_B8G8R8A8_UNORM_SRGB);
    SetValue(L"/gAMA/ImageGamma", VT_UI4, 100000);
    ASSERT_EQ(Run(AssumeSrgb), S_OK);
    EXPECT_EQ(desc.pixelFormat, DXGI_FORMAT_B8G8R8A8_UNORM);

    // Values of the wrong type are no answer: AssumeSrgb decides.
    reader.values.clear();
    SetValue(L"/sRGB/RenderingIntent", VT_LPWSTR, 0);
    SetValue(L"/gAMA/ImageGamma", VT_UI2, 45455);
    ASSERT_EQ(Run(0), S_OK);
    EXPECT_EQ(desc.pixelFormat, DXGI_FORMAT_B8G8R8A8_UNORM);
    ASSERT_EQ(Run(AssumeSrgb), S_OK);
    EXPECT_EQ(desc.pixelFormat, DXGI_FORMAT_B8G8R8A8_UNORM_SRGB);

    // PNG files are never asked for the generic colour space.
    for (const std::wstring& name : reader.asked) {
        EXPECT_NE(name, L"System.Image.ColorSpace");
    }
}

TEST_F(Describe, OtherContainersUseTheColourSpaceValue)
{
    decoder.container = GUID_ContainerFormatJpeg;
    frame.format = GUID_WICPixelFormat24bppBGR;
    SetValue(L"System.Image.ColorSpace", VT_UI2, 1);
    SetValue(L"/sRGB/RenderingIntent", VT_UI1, 0);  // ignored outside PNG
    ASSERT_EQ(Run(0), S_OK);
    EXPECT_EQ(desc.pixelFormat, DXGI_FORMAT_R8G8B8A8_UNORM_SRGB);
    EXPECT_EQ(desc.extraFlags, 3u);
    EXPECT_EQ(reader.asked, std::vector<std::wstring>{L"System.Image.ColorSpace"});

    SetValue(L"System.Image.ColorSpace", VT_UI2, 0xFFFF);  // uncalibrated: linear
    ASSERT_EQ(Run(AssumeSrgb), S_OK);
    EXPECT_EQ(desc.pixelFormat, DXGI_FORMAT_R8G8B8A8_UNORM);

    SetValue(L"System.Image.ColorSpace", VT_UI4, 1);  // wrong type: no answer
    ASSERT_EQ(Run(AssumeSrgb), S_OK);
    EXPECT_EQ(desc.pixelFormat, DXGI_FORMAT_R8G8B8A8_UNORM_SRGB);

    reader.values.clear();
    ASSERT_EQ(Run(0), S_OK);
    EXPECT_EQ(desc.pixelFormat, DXGI_FORMAT_R8G8B8A8_UNORM);
    ASSERT_EQ(Run(AssumeSrgb), S_OK);
    EXPECT_EQ(desc.pixelFormat, DXGI_FORMAT_R8G8B8A8_UNORM_SRGB);

    // Formats without an sRGB twin are left as they are.
    frame.format = GUID_WICPixelFormat8bppGray;
    SetValue(L"System.Image.ColorSpace", VT_UI2, 1);
    ASSERT_EQ(Run(0), S_OK);
    EXPECT_EQ(desc.pixelFormat, DXGI_FORMAT_R8_UNORM);
}

TEST_F(Describe, FrameWithoutMetadataStaysLinear)
{
    frame.reader = nullptr;  // UNSUPPORTEDOPERATION
    ASSERT_EQ(Run(AssumeSrgb), S_OK);
    EXPECT_EQ(desc.pixelFormat, DXGI_FORMAT_B8G8R8A8_UNORM);
}

TEST_F(Describe, OtherReaderFailuresAreReportedAfterTheCallbackStep)
{
    frame.readerStatus = E_ACCESSDENIED;
    int calls = 0;
    EXPECT_EQ(Run(0, true, [&](IWICMetadataQueryReader*) { ++calls; }), E_ACCESSDENIED);
    EXPECT_EQ(calls, 0);                 // the second request failed too
    EXPECT_EQ(frame.readerRequests, 2);  // colour space, then the callback's
    EXPECT_EQ(desc.pixelFormat, DXGI_FORMAT_B8G8R8A8_UNORM);
}

TEST_F(Describe, SkipColorMetadataStillFeedsTheCallback)
{
    SetValue(L"/sRGB/RenderingIntent", VT_UI1, 0);
    IWICMetadataQueryReader* seen = nullptr;
    ULONG referencesDuringCall = 0;
    ASSERT_EQ(Run(SkipColorMetadata | AssumeSrgb, true,
                  [&](IWICMetadataQueryReader* r) {
                      seen = r;
                      referencesDuringCall = reader.references;
                  }),
              S_OK);
    EXPECT_EQ(desc.pixelFormat, DXGI_FORMAT_B8G8R8A8_UNORM);
    EXPECT_EQ(seen, &reader);
    EXPECT_EQ(referencesDuringCall, 2u);  // held by the decode during the call
    EXPECT_TRUE(reader.asked.empty());
    EXPECT_EQ(decoder.containerRequests, 0);
}

TEST(FormatTables, DxgiAndWicFormatsMapBothWays)
{
    for (const WicFormatRow& row : kWicFormatTable) {
        GUID guid{};
        ASSERT_TRUE(WicGuidFromFormat(row.dxgiFormat, guid, false, false));
        EXPECT_EQ(FormatFromWicGuid(guid, false), row.dxgiFormat);
    }
    // Every conversion lands on a format Direct3D takes.
    for (const WicConversionRow& row : kWicConversionTable) {
        EXPECT_NE(FormatFromWicGuid(row.target, false), DXGI_FORMAT_UNKNOWN);
    }

    GUID guid{};
    EXPECT_TRUE(WicGuidFromFormat(DXGI_FORMAT_R8G8B8A8_UNORM_SRGB, guid, false, false));
    EXPECT_TRUE(IsEqualGUID(guid, GUID_WICPixelFormat32bppRGBA));
    EXPECT_TRUE(WicGuidFromFormat(DXGI_FORMAT_R8G8B8A8_UNORM, guid, true, false));
    EXPECT_TRUE(IsEqualGUID(guid, GUID_WICPixelFormat32bppBGRA));
    EXPECT_TRUE(WicGuidFromFormat(DXGI_FORMAT_B8G8R8A8_UNORM_SRGB, guid, false, false));
    EXPECT_TRUE(IsEqualGUID(guid, GUID_WICPixelFormat32bppBGRA));
    EXPECT_TRUE(WicGuidFromFormat(DXGI_FORMAT_B8G8R8X8_UNORM_SRGB, guid, false, false));
    EXPECT_TRUE(IsEqualGUID(guid, GUID_WICPixelFormat32bppBGR));
    EXPECT_TRUE(WicGuidFromFormat(DXGI_FORMAT_D32_FLOAT, guid, false, false));
    EXPECT_TRUE(IsEqualGUID(guid, GUID_WICPixelFormat32bppGrayFloat));
    EXPECT_TRUE(WicGuidFromFormat(DXGI_FORMAT_D16_UNORM, guid, false, false));
    EXPECT_TRUE(IsEqualGUID(guid, GUID_WICPixelFormat16bppGray));
    EXPECT_TRUE(WicGuidFromFormat(DXGI_FORMAT_R32G32B32_FLOAT, guid, false, true));
    EXPECT_TRUE(IsEqualGUID(guid, GUID_WICPixelFormat96bppRGBFloat));
    EXPECT_FALSE(WicGuidFromFormat(DXGI_FORMAT_R32G32B32_FLOAT, guid, false, false));
    EXPECT_TRUE(IsEqualGUID(guid, GUID_NULL));
    EXPECT_FALSE(WicGuidFromFormat(DXGI_FORMAT_BC1_UNORM, guid, false, true));
    EXPECT_TRUE(IsEqualGUID(guid, GUID_NULL));
}

// The copy step, over fake sources and the real factory's converters.
class CopyPixels : public testing::Test {
protected:
    void SetUp() override
    {
        factory = AcquireImagingFactory(isFactory2);
        ASSERT_NE(factory, nullptr);
        frame.width = 4;
        frame.height = 2;
        frame.format = GUID_WICPixelFormat24bppBGR;
        for (int i = 0; i < 24; ++i) {
            frame.pixels.push_back(static_cast<std::uint8_t>(10 * i));
        }
        ASSERT_EQ(set.Allocate2D(DXGI_FORMAT_R8G8B8A8_UNORM, 4, 2, 1, 1, 0), S_OK);
    }
    void TearDown() override { EXPECT_EQ(frame.references, 1u); }

    bool isFactory2 = false;
    IWICImagingFactory* factory = nullptr;
    FakeFrame frame;
    ImageSet set;
};

TEST_F(CopyPixels, StraightCopyUsesTheSurfacePitches)
{
    ImageSurface surface = set.surfaces[0];
    surface.rowBytes = 12;  // 24-bit rows into a surface of that layout
    surface.sliceBytes = 24;
    ASSERT_EQ(CopySourcePixels(factory, &frame, GUID_NULL, 0, surface), S_OK);
    EXPECT_EQ(frame.copiedStride, 12u);
    EXPECT_EQ(frame.copiedSize, 24u);
    EXPECT_EQ(set.pixelMemory[23], 230);

    frame.copyStatus = WINCODEC_ERR_BADIMAGE;
    EXPECT_EQ(CopySourcePixels(factory, &frame, GUID_NULL, 0, surface), WINCODEC_ERR_BADIMAGE);
}

TEST_F(CopyPixels, ConverterTurnsBgrIntoOpaqueRgba)
{
    ASSERT_EQ(CopySourcePixels(factory, &frame, GUID_WICPixelFormat32bppRGBA, 0, set.surfaces[0]), S_OK);
    const std::uint8_t* px = set.pixelMemory;
    EXPECT_EQ(px[0], 20);  // R from the third byte
    EXPECT_EQ(px[1], 10);
    EXPECT_EQ(px[2], 0);
    EXPECT_EQ(px[3], 255);
    EXPECT_EQ(px[28], 230);
}

TEST_F(CopyPixels, RefusedConversionIsUnexpected)
{
    frame.format = GUID{0x12345678, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
    EXPECT_EQ(CopySourcePixels(factory, &frame, GUID_WICPixelFormat32bppRGBA, 0, set.surfaces[0]), E_UNEXPECTED);
    EXPECT_EQ(frame.copies, 0);
}

TEST_F(CopyPixels, PitchesBeyond32BitsAreRefusedBeforeCopying)
{
    ImageSurface surface = set.surfaces[0];
    surface.rowBytes = std::uint64_t{1} << 32;
    EXPECT_EQ(CopySourcePixels(factory, &frame, GUID_NULL, 0, surface), HRESULT_FROM_WIN32(ERROR_ARITHMETIC_OVERFLOW));
    surface.rowBytes = 16;
    surface.sliceBytes = 0x100000000;
    EXPECT_EQ(CopySourcePixels(factory, &frame, GUID_WICPixelFormat32bppRGBA, 0, surface),
              HRESULT_FROM_WIN32(ERROR_ARITHMETIC_OVERFLOW));
    EXPECT_EQ(frame.copies, 0);
}

}  // namespace

namespace {

// Frames of 24bppBGR in a fake decoder, decoded into R8G8B8A8 layers.
class AllFramesFake : public testing::Test {
protected:
    void SetUp() override
    {
        for (FakeFrame* f : {&first, &second}) {
            f->width = 4;
            f->height = 2;
            f->format = GUID_WICPixelFormat24bppBGR;
            f->reader = nullptr;
        }
        first.pixels.assign(24, 0x11);
        second.pixels.assign(24, 0x22);
        decoder.frames = {&first, &second};
        desc = ImageDesc{4, 2, 1, 2, 1, 0, 3, DXGI_FORMAT_R8G8B8A8_UNORM, kImageDimension2D};
    }
    void TearDown() override
    {
        EXPECT_EQ(first.references, 1u);
        EXPECT_EQ(second.references, 1u);
    }

    FakeFrame first;
    FakeFrame second;
    FakeDecoder decoder;
    ImageDesc desc{};
    ImageSet set;
};

TEST_F(AllFramesFake, EveryFrameIsConvertedIntoItsLayer)
{
    ASSERT_EQ(DecodeAllFrames(0, desc, &decoder, set), S_OK);
    ASSERT_EQ(set.surfaceCount, 2u);
    EXPECT_EQ(set.desc.extraFlags, 0u);
    const std::uint8_t* layer1 = set.SurfaceAt(0, 1, 0)->pixels;
    EXPECT_EQ(set.SurfaceAt(0, 0, 0)->pixels[0], 0x11);
    EXPECT_EQ(layer1[0], 0x22);
    EXPECT_EQ(layer1[3], 0xFF);
}

TEST_F(AllFramesFake, SmallerFramesAreScaledWithTheChosenFilter)
{
    second.width = 2;
    second.height = 1;
    second.format = GUID_WICPixelFormat32bppRGBA;  // already the target: no converter
    second.pixels = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(DecodeAllFrames(ScaleNearest, desc, &decoder, set), S_OK);
    const std::uint8_t* px = set.SurfaceAt(0, 1, 0)->pixels;
    // Nearest neighbour doubles each pixel in both directions.
    const std::uint8_t expected[32] = {1, 2, 3, 4, 1, 2, 3, 4, 5, 6, 7, 8, 5, 6, 7, 8,
                                       1, 2, 3, 4, 1, 2, 3, 4, 5, 6, 7, 8, 5, 6, 7, 8};
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(px[i], expected[i]) << i;
    }
}

TEST_F(AllFramesFake, FailuresAreReturnedAsTheyCome)
{
    EXPECT_EQ(DecodeAllFrames(0, desc, nullptr, set), E_POINTER);

    decoder.frames = {&first};  // the second frame is missing
    EXPECT_EQ(DecodeAllFrames(0, desc, &decoder, set), WINCODEC_ERR_FRAMEMISSING);
    EXPECT_EQ(set.surfaces[0].pixels[0], 0x11);  // the first layer was filled

    decoder.frames = {&first, &second};
    second.copyStatus = WINCODEC_ERR_BADIMAGE;
    EXPECT_EQ(DecodeAllFrames(0, desc, &decoder, set), WINCODEC_ERR_BADIMAGE);
    second.copyStatus = S_OK;

    ImageDesc blocks = desc;  // no WIC format holds BC1 blocks
    blocks.pixelFormat = DXGI_FORMAT_BC1_UNORM;
    EXPECT_EQ(DecodeAllFrames(0, blocks, &decoder, set), E_FAIL);

    ImageDesc huge = desc;  // each layer beyond WIC's 32-bit buffer size
    huge.width = 0x10000;
    huge.height = 0x10000;
    ImageSet untouched;
    EXPECT_EQ(DecodeAllFrames(0, huge, &decoder, untouched), HRESULT_FROM_WIN32(ERROR_ARITHMETIC_OVERFLOW));
    EXPECT_EQ(untouched.byteSize, 0u);  // refused before allocating
}

}  // namespace
