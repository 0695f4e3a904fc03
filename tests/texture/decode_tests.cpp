#include "tests/texture/texture_test_values.h"
#include "tests/texture/wic_test_files.h"
#include "texture/image_decoder.h"

#include <gtest/gtest.h>
#include <wrl/client.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

// WIC lives in COM: the whole executable runs in one multithreaded apartment.
class ComEnvironment : public testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
};
testing::Environment* const kComEnvironment = testing::AddGlobalTestEnvironment(new ComEnvironment);

// A description no decode writes, to see that failures leave it alone.
ImageDesc Sentinel()
{
    return ImageDesc{77, 77, 77, 77, 77, 77, 77, DXGI_FORMAT_R1_UNORM, 77};
}

void ExpectSentinel(const ImageDesc& desc)
{
    EXPECT_EQ(desc.width, 77u);
    EXPECT_EQ(desc.extraFlags, 77u);
    EXPECT_EQ(desc.dimension, 77);
}

void ExpectNoSurfaces(const ImageSet& set)
{
    EXPECT_EQ(set.surfaceCount, 0u);
    EXPECT_EQ(set.surfaces, nullptr);
    EXPECT_EQ(set.pixelMemory, nullptr);
}

class DecodeFile : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        pattern = PatternBgra(5, 3);
        ASSERT_EQ(WriteImage(TestFilePath(L"pattern.png"), GUID_ContainerFormatPng, {pattern}), S_OK);
        TestFrame photo{16, 8, GUID_WICPixelFormat24bppBGR, 48, {}, {}};
        photo.pixels.assign(16 * 8 * 3, 0x80);
        ASSERT_EQ(WriteImage(TestFilePath(L"photo.jpg"), GUID_ContainerFormatJpeg, {photo}), S_OK);
    }
    static inline TestFrame pattern;

    HRESULT Decode(const wchar_t* name, std::uint32_t flags, ImageDesc& desc)
    {
        return DecodeImageFile(TestFilePath(name).c_str(), flags, &desc, set, {});
    }
    ImageSet set;
};

TEST_F(DecodeFile, BgraPngIsCopiedUnchanged)
{
    ImageDesc desc = Sentinel();
    ASSERT_EQ(Decode(L"pattern.png", 0, desc), S_OK);
    EXPECT_EQ(desc.pixelFormat, DXGI_FORMAT_B8G8R8A8_UNORM);
    EXPECT_EQ(desc.width, 5u);
    EXPECT_EQ(desc.height, 3u);
    EXPECT_EQ(desc.depth, 1u);
    EXPECT_EQ(desc.layerCount, 1u);
    EXPECT_EQ(desc.mipCount, 1u);
    EXPECT_EQ(desc.dimension, kImageDimension2D);
    EXPECT_EQ(desc.extraFlags, 0u);
    ASSERT_EQ(set.surfaceCount, 1u);
    EXPECT_EQ(set.desc.pixelFormat, DXGI_FORMAT_B8G8R8A8_UNORM);
    ASSERT_EQ(set.surfaces[0].rowBytes, 20u);
    EXPECT_EQ(std::memcmp(set.surfaces[0].pixels, pattern.pixels.data(), 60), 0);
}

TEST_F(DecodeFile, BgraAsRgbaSwapsChannelsThroughAConverter)
{
    ImageDesc desc{};
    ASSERT_EQ(Decode(L"pattern.png", BgraAsRgba, desc), S_OK);
    EXPECT_EQ(desc.pixelFormat, kRgba);
    const std::uint8_t* out = set.surfaces[0].pixels;
    for (int i = 0; i < 60; i += 4) {
        SCOPED_TRACE(i);
        EXPECT_EQ(out[i + 0], pattern.pixels[i + 2]);
        EXPECT_EQ(out[i + 1], pattern.pixels[i + 1]);
        EXPECT_EQ(out[i + 2], pattern.pixels[i + 0]);
        EXPECT_EQ(out[i + 3], pattern.pixels[i + 3]);
    }
}

TEST_F(DecodeFile, AssumeSrgbAppliesWithoutColourMetadata)
{
    ImageDesc desc{};
    ASSERT_EQ(Decode(L"pattern.png", AssumeSrgb, desc), S_OK);
    EXPECT_EQ(desc.pixelFormat, DXGI_FORMAT_B8G8R8A8_UNORM_SRGB);
    EXPECT_EQ(set.desc.pixelFormat, DXGI_FORMAT_B8G8R8A8_UNORM_SRGB);
    ASSERT_EQ(Decode(L"pattern.png", AssumeSrgb | SkipColorMetadata, desc), S_OK);
    EXPECT_EQ(desc.pixelFormat, DXGI_FORMAT_B8G8R8A8_UNORM);
}

TEST_F(DecodeFile, JpegBecomesOpaqueRgba)
{
    ImageDesc desc{};
    ASSERT_EQ(Decode(L"photo.jpg", 0, desc), S_OK);
    EXPECT_EQ(desc.pixelFormat, kRgba);
    EXPECT_EQ(desc.extraFlags & kAlphaModeMask, kAlphaModeOpaque);
    EXPECT_EQ(set.desc.extraFlags, 0u);
    ASSERT_EQ(set.surfaceCount, 1u);
    EXPECT_EQ(set.surfaces[0].rowBytes, 64u);
    // A flat grey stays (nearly) grey and becomes opaque.
    const std::uint8_t* px = set.surfaces[0].pixels;
    for (int i = 0; i < 16 * 8 * 4; i += 4) {
        ASSERT_NEAR(px[i], 0x80, 3) << i;
        ASSERT_EQ(px[i + 3], 0xFF) << i;
    }
}

TEST_F(DecodeFile, MetadataCallbackSeesTheFirstFrameReader)
{
    int calls = 0;
    IWICMetadataQueryReader* seen = nullptr;
    ImageDesc desc{};
    ASSERT_EQ(DecodeImageFile(TestFilePath(L"photo.jpg").c_str(), SkipColorMetadata, &desc, set,
                              [&](IWICMetadataQueryReader* reader) {
                                  ++calls;
                                  seen = reader;
                              }),
              S_OK);
    EXPECT_EQ(calls, 1);
    EXPECT_NE(seen, nullptr);
}

TEST_F(DecodeFile, IndexedImageExpandsToRgbaWithUnspecifiedAlpha)
{
    TestFrame indexed{4, 2, GUID_WICPixelFormat8bppIndexed, 4, {0, 1, 2, 3, 3, 2, 1, 0}, {}};
    indexed.palette = {0xFF102030, 0xFF405060, 0xFF708090, 0xFFA0B0C0};
    ASSERT_EQ(WriteImage(TestFilePath(L"indexed.png"), GUID_ContainerFormatPng, {indexed}), S_OK);
    ImageDesc desc{};
    ASSERT_EQ(Decode(L"indexed.png", 0, desc), S_OK);
    EXPECT_EQ(desc.pixelFormat, kRgba);
    EXPECT_EQ(desc.extraFlags & kAlphaModeMask, 0u);
    // Pixel 1 is palette entry 1, 0xAARRGGBB = FF405060, stored R, G, B, A.
    const std::uint8_t* px = set.surfaces[0].pixels;
    EXPECT_EQ(px[4], 0x40);
    EXPECT_EQ(px[5], 0x50);
    EXPECT_EQ(px[6], 0x60);
    EXPECT_EQ(px[7], 0xFF);
}

TEST_F(DecodeFile, BlackAndWhiteBecomesR8UnlessKeptAsOneBit)
{
    // 10 x 2 pixels, row 0 alternating white/black, row 1 all black.
    TestFrame bw{10, 2, GUID_WICPixelFormatBlackWhite, 2, {0xAA, 0x80, 0x00, 0x00}, {}};
    ASSERT_EQ(WriteImage(TestFilePath(L"bw.png"), GUID_ContainerFormatPng, {bw}), S_OK);
    ImageDesc desc{};
    ASSERT_EQ(Decode(L"bw.png", KeepOneBit, desc), S_OK);
    EXPECT_EQ(desc.pixelFormat, DXGI_FORMAT_R1_UNORM);
    ASSERT_EQ(set.surfaces[0].rowBytes, 2u);
    EXPECT_EQ(set.surfaces[0].pixels[0], 0xAA);
    EXPECT_EQ(set.surfaces[0].pixels[1] & 0xC0, 0x80);

    // Without KeepOneBit the frame is described as R8 through 8bppGray.
    bool isFactory2 = false;
    IWICImagingFactory* factory = AcquireImagingFactory(isFactory2);
    Microsoft::WRL::ComPtr<IWICBitmapDecoder> decoder;
    Microsoft::WRL::ComPtr<IWICBitmapFrameDecode> frame;
    ASSERT_EQ(factory->CreateDecoderFromFilename(TestFilePath(L"bw.png").c_str(), nullptr, GENERIC_READ,
                                                 WICDecodeMetadataCacheOnDemand, &decoder),
              S_OK);
    ASSERT_EQ(decoder->GetFrame(0, &frame), S_OK);
    GUID target{};
    ASSERT_EQ(DescribeFrame(0, isFactory2, decoder.Get(), frame.Get(), desc, &target, {}), S_OK);
    EXPECT_EQ(desc.pixelFormat, DXGI_FORMAT_R8_UNORM);
    EXPECT_TRUE(IsEqualGUID(target, GUID_WICPixelFormat8bppGray));

    // Wine 8's converter accepts 1-bit to 8bppGray but fails the copy with
    // UNSUPPORTEDOPERATION; Windows converts. Either way nothing half-done
    // is handed out.
    const HRESULT status = Decode(L"bw.png", 0, desc);
    if (status == WINCODEC_ERR_UNSUPPORTEDOPERATION) {
        ExpectNoSurfaces(set);
        return;
    }
    ASSERT_EQ(status, S_OK);
    EXPECT_EQ(desc.pixelFormat, DXGI_FORMAT_R8_UNORM);
    ASSERT_EQ(set.surfaces[0].rowBytes, 10u);
    const std::uint8_t* px = set.surfaces[0].pixels;
    for (int x = 0; x < 10; ++x) {
        EXPECT_EQ(px[x], x % 2 == 0 ? 0xFF : 0x00) << x;
    }
    for (int x = 10; x < 20; ++x) {
        EXPECT_EQ(px[x], 0x00) << x;
    }
}

TEST_F(DecodeFile, FramesBecomeLayersOnlyWhenAsked)
{
    const std::uint32_t red = 0x0000FFFF, green = 0x00FF00FF, blue = 0xFF0000FF;
    ASSERT_EQ(WriteImage(TestFilePath(L"frames.tif"), GUID_ContainerFormatTiff,
                         {SolidBgra(8, 6, red), SolidBgra(8, 6, green), SolidBgra(4, 3, blue)}),
              S_OK);
    ImageDesc desc{};
    ASSERT_EQ(Decode(L"frames.tif", 0, desc), S_OK);
    EXPECT_EQ(desc.layerCount, 1u);
    EXPECT_EQ(set.surfaceCount, 1u);

    ASSERT_EQ(Decode(L"frames.tif", AllFrames, desc), S_OK);
    EXPECT_EQ(desc.layerCount, 3u);
    EXPECT_EQ(desc.width, 8u);
    EXPECT_EQ(desc.height, 6u);
    ASSERT_EQ(set.surfaceCount, 3u);
    const std::uint32_t colours[3] = {red, green, blue};
    for (std::uint64_t layer = 0; layer < 3; ++layer) {
        const ImageSurface* surface = set.SurfaceAt(0, layer, 0);
        ASSERT_NE(surface, nullptr);
        EXPECT_EQ(surface->width, 8u);
        EXPECT_EQ(surface->height, 6u);
        const std::uint8_t expected[4] = {static_cast<std::uint8_t>(colours[layer] >> 24),
                                          static_cast<std::uint8_t>(colours[layer] >> 16),
                                          static_cast<std::uint8_t>(colours[layer] >> 8), 0xFF};
        for (std::uint64_t i = 0; i < surface->sliceBytes; ++i) {
            ASSERT_EQ(surface->pixels[i], expected[i % 4]) << "layer " << layer << " byte " << i;
        }
    }
}

TEST(DecodeBadInput, NullPathLeavesEverythingAlone)
{
    ImageSet set;
    ASSERT_EQ(set.Allocate2D(kRgba, 2, 2, 1, 1, 0), S_OK);
    ImageDesc desc = Sentinel();
    EXPECT_EQ(DecodeImageFile(nullptr, 0, &desc, set, {}), E_INVALIDARG);
    ExpectSentinel(desc);
    EXPECT_EQ(set.surfaceCount, 1u);
}

TEST(DecodeBadInput, BrokenFilesFailAndLeaveTheSetEmpty)
{
    // A valid JPEG to cut short.
    TestFrame photo{64, 64, GUID_WICPixelFormat24bppBGR, 192, {}, {}};
    photo.pixels.resize(64 * 192);
    for (std::size_t i = 0; i < photo.pixels.size(); ++i) {
        photo.pixels[i] = static_cast<std::uint8_t>(i * 31);
    }
    ASSERT_EQ(WriteImage(TestFilePath(L"whole.jpg"), GUID_ContainerFormatJpeg, {photo}), S_OK);
    std::vector<std::uint8_t> jpeg = ReadBytes(TestFilePath(L"whole.jpg"));
    ASSERT_GT(jpeg.size(), 400u);
    jpeg.resize(jpeg.size() / 3);
    ASSERT_TRUE(WriteBytes(TestFilePath(L"truncated.jpg"), jpeg));
    ASSERT_TRUE(WriteBytes(TestFilePath(L"empty.png"), {}));
    const char text[] = "This is not a picture at all, just some words.\n";
    ASSERT_TRUE(WriteBytes(TestFilePath(L"text.jpg"), std::vector<std::uint8_t>(text, text + sizeof text)));

    for (const wchar_t* name : {L"missing.jpg", L"empty.png", L"text.jpg", L"truncated.jpg"}) {
        SCOPED_TRACE(testing::Message() << name);
        ImageSet set;
        ASSERT_EQ(set.Allocate2D(kRgba, 2, 2, 1, 1, 0), S_OK);
        ImageDesc desc = Sentinel();
        const HRESULT status = DecodeImageFile(TestFilePath(name).c_str(), 0, &desc, set, {});
        EXPECT_TRUE(FAILED(status)) << std::hex << status;
        ExpectSentinel(desc);
        ExpectNoSurfaces(set);
    }
}

// A 32-bit BMP whose header claims the given size, followed by a few pixels.
std::vector<std::uint8_t> BmpHeader(std::int32_t width, std::int32_t height)
{
    std::vector<std::uint8_t> bytes(54 + 64, 0);
    auto put32 = [&](std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
        }
    };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put32(2, static_cast<std::uint32_t>(bytes.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(width));
    put32(22, static_cast<std::uint32_t>(height));
    bytes[26] = 1;   // planes
    bytes[28] = 32;  // bits per pixel
    return bytes;
}

TEST(DecodeBadInput, AbsurdHeaderSizesFailBeforeAnyHugeAllocation)
{
    struct Case {
        const wchar_t* name;
        std::int32_t width, height;
    };
    for (const Case& c :
         {Case{L"huge.bmp", 100000, 100000}, Case{L"wide.bmp", 0x7FFFFFFF, 1}, Case{L"tall.bmp", 4, 0x7FFFFFFF}}) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        ASSERT_TRUE(WriteBytes(TestFilePath(c.name), BmpHeader(c.width, c.height)));
        ImageSet set;
        ImageDesc desc = Sentinel();
        const HRESULT status = DecodeImageFile(TestFilePath(c.name).c_str(), 0, &desc, set, {});
        // Wine's BMP decoder reports the header's size as it stands, and the
        // 32-bit copy limit refuses it; a decoder that checks the header
        // itself may refuse it first with its own code (WIC facility 0x898).
        EXPECT_TRUE(status == HRESULT_FROM_WIN32(ERROR_ARITHMETIC_OVERFLOW) || HRESULT_FACILITY(status) == 0x898)
            << std::hex << status;
        ExpectSentinel(desc);
        ExpectNoSurfaces(set);
    }
}

}  // namespace
