#include "tests/texture/fake_device.h"
#include "tests/texture/texture_test_values.h"
#include "tests/texture/wic_test_files.h"
#include "texture/image_decoder.h"
#include "texture/texture_builder.h"

#include <gtest/gtest.h>
#include <wrl/client.h>

#include <cstdint>
#include <cstring>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

constexpr auto kRgbaSrgb = DXGI_FORMAT_R8G8B8A8_UNORM_SRGB;

// Never dereferenced: tells whether an out pointer was touched.
ID3D11Resource* const kUntouched = reinterpret_cast<ID3D11Resource*>(std::uintptr_t{0x10});

class BuildWithFake : public testing::Test {
protected:
    HRESULT Build(const ImageSet& from, const ImageDesc& desc, UINT miscFlags = 0, std::uint32_t formatFlags = 0)
    {
        out = kUntouched;
        return BuildTexture(&device, from.surfaces, from.surfaceCount, desc, D3D11_USAGE_DEFAULT,
                            D3D11_BIND_SHADER_RESOURCE, 0, miscFlags, formatFlags, &out);
    }
    HRESULT Build(const ImageDesc& desc, UINT miscFlags = 0) { return Build(set, desc, miscFlags); }

    FakeDevice device;
    ImageSet set;
    ID3D11Resource* out = nullptr;
};

TEST_F(BuildWithFake, SingleSurfaceMakesOneShaderTexture)
{
    ASSERT_EQ(set.Allocate2D(kRgba, 5, 3, 1, 1, 0), S_OK);
    out = kUntouched;
    ASSERT_EQ(CreateShaderTexture(&device, set.surfaces, set.surfaceCount, set.desc, &out), S_OK);
    ASSERT_EQ(device.calls, 1);
    ASSERT_EQ(device.lastDimension, 2);
    const D3D11_TEXTURE2D_DESC& d = device.desc2D;
    EXPECT_EQ(d.Width, 5u);
    EXPECT_EQ(d.Height, 3u);
    EXPECT_EQ(d.MipLevels, 1u);
    EXPECT_EQ(d.ArraySize, 1u);
    EXPECT_EQ(d.Format, kRgba);
    EXPECT_EQ(d.SampleDesc.Count, 1u);
    EXPECT_EQ(d.SampleDesc.Quality, 0u);
    EXPECT_EQ(d.Usage, D3D11_USAGE_DEFAULT);
    EXPECT_EQ(d.BindFlags, 8u);
    EXPECT_EQ(d.CPUAccessFlags, 0u);
    EXPECT_EQ(d.MiscFlags, 0u);
    ASSERT_EQ(device.initialData.size(), 1u);
    EXPECT_EQ(device.initialData[0].pSysMem, set.pixelMemory);
    EXPECT_EQ(device.initialData[0].SysMemPitch, 20u);
    EXPECT_EQ(device.initialData[0].SysMemSlicePitch, 60u);
    // The caller receives the one reference the device handed out.
    EXPECT_EQ(out, static_cast<ID3D11Resource*>(device.texture2D));
    EXPECT_EQ(device.texture2D->references, 1u);
}

TEST_F(BuildWithFake, InitialDataFollowsLayersThenMips)
{
    ASSERT_EQ(set.Allocate2D(kRgba, 4, 4, 2, 3, 0), S_OK);
    ASSERT_EQ(Build(set.desc), S_OK);
    EXPECT_EQ(device.desc2D.MipLevels, 3u);
    EXPECT_EQ(device.desc2D.ArraySize, 2u);
    ASSERT_EQ(device.initialData.size(), 6u);
    for (std::uint64_t layer = 0; layer < 2; ++layer) {
        for (std::uint64_t mip = 0; mip < 3; ++mip) {
            const D3D11_SUBRESOURCE_DATA& entry = device.initialData[layer * 3 + mip];
            const ImageSurface* surface = set.SurfaceAt(mip, layer, 0);
            EXPECT_EQ(entry.pSysMem, surface->pixels) << layer << "/" << mip;
            EXPECT_EQ(entry.SysMemPitch, 16u >> mip);
        }
    }
}

TEST_F(BuildWithFake, RejectsDescriptionsBeforeTouchingTheDevice)
{
    ASSERT_EQ(set.Allocate2D(kRgba, 4, 4, 1, 1, 0), S_OK);
    // Missing arguments leave the out pointer alone.
    out = kUntouched;
    EXPECT_EQ(BuildTexture(nullptr, set.surfaces, 1, set.desc, D3D11_USAGE_DEFAULT, 8, 0, 0, 0, &out), E_INVALIDARG);
    EXPECT_EQ(BuildTexture(&device, nullptr, 1, set.desc, D3D11_USAGE_DEFAULT, 8, 0, 0, 0, &out), E_INVALIDARG);
    EXPECT_EQ(BuildTexture(&device, set.surfaces, 0, set.desc, D3D11_USAGE_DEFAULT, 8, 0, 0, 0, &out), E_INVALIDARG);
    EXPECT_EQ(out, kUntouched);
    EXPECT_EQ(BuildTexture(&device, set.surfaces, 1, set.desc, D3D11_USAGE_DEFAULT, 8, 0, 0, 0, nullptr), E_INVALIDARG);

    struct Case {
        const char* what;
        ImageDesc desc;
        HRESULT expected;
    };
    auto with = [&](auto change) {
        ImageDesc d = set.desc;
        change(d);
        return d;
    };
    const Case cases[] = {
        {"no mips", with([](ImageDesc& d) { d.mipCount = 0; }), E_INVALIDARG},
        {"no layers", with([](ImageDesc& d) { d.layerCount = 0; }), E_INVALIDARG},
        {"65536 layers", with([](ImageDesc& d) { d.layerCount = 65536; }), E_INVALIDARG},
        {"65536 mips", with([](ImageDesc& d) { d.mipCount = 65536; }), E_INVALIDARG},
        {"wide", with([](ImageDesc& d) { d.width = 0x100000000; }), E_INVALIDARG},
        {"tall", with([](ImageDesc& d) { d.height = 0x100000000; }), E_INVALIDARG},
        {"more surfaces than given", with([](ImageDesc& d) { d.layerCount = 2; }), E_FAIL},
        {"other format", with([](ImageDesc& d) { d.pixelFormat = kRgbaSrgb; }), E_FAIL},
        {"no dimension", with([](ImageDesc& d) { d.dimension = 0; }), E_FAIL},
        {"dimension 5", with([](ImageDesc& d) { d.dimension = 5; }), E_FAIL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Build(c.desc), c.expected);
        EXPECT_EQ(out, nullptr);
    }

    set.surfaces[0].pixels = nullptr;
    EXPECT_EQ(Build(set.desc), E_POINTER);
    set.surfaces[0].pixels = set.pixelMemory;
    set.surfaces[0].rowBytes = 0x100000000;  // would be cut to 32 bits
    EXPECT_EQ(Build(set.desc), E_INVALIDARG);
    EXPECT_EQ(device.calls, 0);
}

TEST_F(BuildWithFake, DeviceFailureIsPassedOnWithNoTexture)
{
    ASSERT_EQ(set.Allocate2D(kRgba, 4, 4, 1, 1, 0), S_OK);
    device.result = E_OUTOFMEMORY;
    EXPECT_EQ(Build(set.desc), E_OUTOFMEMORY);
    EXPECT_EQ(out, nullptr);
}

TEST_F(BuildWithFake, FormatFlagsPickTheSrgbOrLinearTwin)
{
    ASSERT_EQ(set.Allocate2D(kRgba, 4, 4, 1, 1, 0), S_OK);
    ASSERT_EQ(Build(set, set.desc, 0, AsSrgb), S_OK);
    EXPECT_EQ(device.desc2D.Format, kRgbaSrgb);
    ASSERT_EQ(Build(set, set.desc, 0, AsSrgb | AsLinear), S_OK);
    EXPECT_EQ(device.desc2D.Format, kRgbaSrgb);
    ASSERT_EQ(Build(set, set.desc, 0, AsLinear), S_OK);
    EXPECT_EQ(device.desc2D.Format, kRgba);

    ASSERT_EQ(set.Allocate2D(kRgbaSrgb, 4, 4, 1, 1, 0), S_OK);
    ASSERT_EQ(Build(set, set.desc, 0, AsLinear), S_OK);
    EXPECT_EQ(device.desc2D.Format, kRgba);
    ASSERT_EQ(Build(set, set.desc, 0, 0), S_OK);
    EXPECT_EQ(device.desc2D.Format, kRgbaSrgb);
}

TEST_F(BuildWithFake, CubeBitComesFromTheDescriptionAlone)
{
    ASSERT_EQ(set.Allocate2D(kRgba, 4, 4, 6, 1, 0), S_OK);
    ImageDesc cube = set.desc;
    cube.optionFlags = kImageOptionCubeMap;
    ASSERT_EQ(Build(cube, 0), S_OK);
    EXPECT_EQ(device.desc2D.MiscFlags, UINT{D3D11_RESOURCE_MISC_TEXTURECUBE});
    ASSERT_EQ(Build(set.desc, D3D11_RESOURCE_MISC_TEXTURECUBE | D3D11_RESOURCE_MISC_GENERATE_MIPS), S_OK);
    EXPECT_EQ(device.desc2D.MiscFlags, UINT{D3D11_RESOURCE_MISC_GENERATE_MIPS});

    ImageDesc line{4, 1, 1, 2, 1, kImageOptionCubeMap, 0, kRgba, kImageDimension1D};
    ImageSet lines;
    ASSERT_EQ(lines.Allocate2D(kRgba, 4, 1, 2, 1, 0), S_OK);
    ASSERT_EQ(Build(lines, line, D3D11_RESOURCE_MISC_TEXTURECUBE), S_OK);
    ASSERT_EQ(device.lastDimension, 1);
    EXPECT_EQ(device.desc1D.Width, 4u);
    EXPECT_EQ(device.desc1D.ArraySize, 2u);
    EXPECT_EQ(device.desc1D.MipLevels, 1u);
    EXPECT_EQ(device.desc1D.MiscFlags, 0u);
}

// A 3-D image laid out by the container's own rules.
class Build3D : public BuildWithFake {
protected:
    void SetUp() override
    {
        desc = ImageDesc{4, 4, 4, 1, 3, kImageOptionCubeMap, 0, kRgba, kImageDimension3D};
        std::uint64_t count = 0, bytes = 0;
        ASSERT_EQ(MeasureImage(desc, 0, count, bytes), S_OK);
        block.assign(bytes, 0);
        surfaces.resize(count);
        ASSERT_TRUE(LayOutSurfaces(block.data(), bytes, desc, 0, surfaces.data(), count));
    }
    HRESULT Build(const ImageDesc& d, UINT miscFlags = 0)
    {
        out = kUntouched;
        return BuildTexture(&device, surfaces.data(), surfaces.size(), d, D3D11_USAGE_DEFAULT,
                            D3D11_BIND_SHADER_RESOURCE, 0, miscFlags, 0, &out);
    }
    ImageDesc desc{};
    std::vector<std::uint8_t> block;
    std::vector<ImageSurface> surfaces;
};

TEST_F(Build3D, OneEntryPerLevelStartingAtItsFirstSlice)
{
    ASSERT_EQ(Build(desc, D3D11_RESOURCE_MISC_TEXTURECUBE), S_OK);
    ASSERT_EQ(device.lastDimension, 3);
    const D3D11_TEXTURE3D_DESC& d = device.desc3D;
    EXPECT_EQ(d.Width, 4u);
    EXPECT_EQ(d.Height, 4u);
    EXPECT_EQ(d.Depth, 4u);
    EXPECT_EQ(d.MipLevels, 3u);
    EXPECT_EQ(d.MiscFlags, 0u);  // never a cube, whatever is asked
    ASSERT_EQ(device.initialData.size(), 3u);
    EXPECT_EQ(device.initialData[0].pSysMem, block.data());
    EXPECT_EQ(device.initialData[1].pSysMem, block.data() + 4 * 64);
    EXPECT_EQ(device.initialData[2].pSysMem, block.data() + 4 * 64 + 2 * 16);
    EXPECT_EQ(device.initialData[1].SysMemPitch, 8u);
    EXPECT_EQ(device.initialData[1].SysMemSlicePitch, 16u);
}

TEST_F(Build3D, SlicesMustFollowEachOtherWithEqualSizes)
{
    ImageDesc layered = desc;
    layered.layerCount = 2;
    EXPECT_EQ(Build(layered), kNotSupported);
    ImageDesc flat = desc;
    flat.depth = 0;
    EXPECT_EQ(Build(flat), E_INVALIDARG);
    flat.depth = 0x10000;
    EXPECT_EQ(Build(flat), E_INVALIDARG);

    std::vector<ImageSurface> original = surfaces;
    surfaces[1].pixels += 4;  // gap after slice 0
    EXPECT_EQ(Build(desc), E_FAIL);
    surfaces = original;
    surfaces[2].rowBytes = 32;
    EXPECT_EQ(Build(desc), E_FAIL);
    surfaces = original;
    surfaces[5].pixelFormat = kRgbaSrgb;
    EXPECT_EQ(Build(desc), E_FAIL);
    surfaces = original;
    surfaces[3].pixels = nullptr;
    EXPECT_EQ(Build(desc), E_POINTER);
    surfaces = original;
    surfaces.resize(5);  // level 1's second slice is missing
    EXPECT_EQ(Build(desc), E_FAIL);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(device.calls, 0);
}

// The real device under Wine: a decoded image becomes a texture whose texels
// read back unchanged.
TEST(BuildWithDevice, DecodedImageReadsBackUnchanged)
{
    ComPtr<ID3D11Device> device;
    ComPtr<ID3D11DeviceContext> context;
    ASSERT_EQ(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION, &device,
                                nullptr, &context),
              S_OK);

    const TestFrame pattern = PatternBgra(7, 5);
    ASSERT_EQ(WriteImage(TestFilePath(L"device.png"), GUID_ContainerFormatPng, {pattern}), S_OK);
    ImageDesc desc{};
    ImageSet set;
    ASSERT_EQ(DecodeImageFile(TestFilePath(L"device.png").c_str(), BgraAsRgba, &desc, set, {}), S_OK);

    ComPtr<ID3D11Resource> resource;
    ASSERT_EQ(CreateShaderTexture(device.Get(), set.surfaces, set.surfaceCount, desc, &resource), S_OK);
    ComPtr<ID3D11Texture2D> texture;
    ASSERT_EQ(resource.As(&texture), S_OK);
    D3D11_TEXTURE2D_DESC textureDesc{};
    texture->GetDesc(&textureDesc);
    EXPECT_EQ(textureDesc.Width, 7u);
    EXPECT_EQ(textureDesc.Height, 5u);
    EXPECT_EQ(textureDesc.Format, kRgba);
    EXPECT_EQ(textureDesc.BindFlags, UINT{D3D11_BIND_SHADER_RESOURCE});

    ComPtr<ID3D11ShaderResourceView> view;
    EXPECT_EQ(device->CreateShaderResourceView(resource.Get(), nullptr, &view), S_OK);

    textureDesc.Usage = D3D11_USAGE_STAGING;
    textureDesc.BindFlags = 0;
    textureDesc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
    ComPtr<ID3D11Texture2D> staging;
    ASSERT_EQ(device->CreateTexture2D(&textureDesc, nullptr, &staging), S_OK);
    context->CopyResource(staging.Get(), texture.Get());
    D3D11_MAPPED_SUBRESOURCE mapped{};
    ASSERT_EQ(context->Map(staging.Get(), 0, D3D11_MAP_READ, 0, &mapped), S_OK);
    for (UINT y = 0; y < 5; ++y) {
        const auto* row = static_cast<const std::uint8_t*>(mapped.pData) + y * mapped.RowPitch;
        for (UINT x = 0; x < 7; ++x) {
            const std::uint8_t* source = &pattern.pixels[(y * 7 + x) * 4];
            EXPECT_EQ(row[x * 4 + 0], source[2]) << x << "," << y;
            EXPECT_EQ(row[x * 4 + 1], source[1]);
            EXPECT_EQ(row[x * 4 + 2], source[0]);
            EXPECT_EQ(row[x * 4 + 3], source[3]);
        }
    }
    context->Unmap(staging.Get(), 0);
}

}  // namespace

namespace {

// The program's own texture takes the path the cube material takes.
TEST(BuildWithDevice, ShippedGrassBecomesOneLevelTexture)
{
    ComPtr<ID3D11Device> device;
    ASSERT_EQ(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION, &device,
                                nullptr, nullptr),
              S_OK);
    ImageDesc desc{};
    ImageSet set;
    ASSERT_EQ(DecodeImageFile(VEXLAR_GRASS_PATH, 0, &desc, set, {}), S_OK);
    EXPECT_EQ(desc.width, 512u);
    EXPECT_EQ(desc.height, 512u);
    EXPECT_TRUE(desc.pixelFormat == kRgba || desc.pixelFormat == kRgbaSrgb);
    EXPECT_EQ(set.surfaceCount, 1u);

    ComPtr<ID3D11Resource> resource;
    ASSERT_EQ(CreateShaderTexture(device.Get(), set.surfaces, set.surfaceCount, desc, &resource), S_OK);
    ComPtr<ID3D11ShaderResourceView> view;
    ASSERT_EQ(device->CreateShaderResourceView(resource.Get(), nullptr, &view), S_OK);
    D3D11_SHADER_RESOURCE_VIEW_DESC viewDesc{};
    view->GetDesc(&viewDesc);
    EXPECT_EQ(viewDesc.ViewDimension, D3D11_SRV_DIMENSION_TEXTURE2D);
    EXPECT_EQ(viewDesc.Texture2D.MipLevels, 1u);
    EXPECT_EQ(viewDesc.Format, desc.pixelFormat);
}

}  // namespace
