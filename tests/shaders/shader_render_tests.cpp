// The compiled shaders on a real Direct3D 11 device: they load, match the
// program's input layouts and constant buffers, and draw what they should.

#include "render/materials.h"
#include "render/mesh_object.h"
#include "render/meshes.h"
#include "render/vector_math.h"
#include "scene/scene_content.h"
#include "tests/support/read_back.h"

#include <windows.h>
#include <d3d11.h>
#include <d3d11shader.h>
#include <d3dcompiler.h>
#include <wrl/client.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

using Microsoft::WRL::ComPtr;

namespace {

constexpr UINT kSize = 64;

// Orthographic, so that sloping faces land on fixed pixels: x and y scaled,
// view depth -5..5 mapped to 0..1. The program itself has no orthographic
// builder.
Matrix4 Orthographic(float scale)
{
    return {{{scale, 0, 0, 0}, {0, scale, 0, 0}, {0, 0, 0.1f, 0}, {0, 0, 0.5f, 1}}};
}

// A camera at the origin looking along `forward`.
Matrix4 LookAlong(const Vector4& forward, const Vector4& up)
{
    return MakeLookAt({}, forward, up);
}

// The constants as the draw fills them, time included.
ObjectConstants MakeConstants(const Matrix4& world, const Matrix4& view, const Matrix4& projection)
{
    ObjectConstants constants;
    FillObjectConstants(constants, world, view, projection, 12.5f);
    return constants;
}

// B, G, R, A bytes of one pixel as a number 0xAARRGGBB.
constexpr std::uint32_t Bgra(std::uint32_t r, std::uint32_t g, std::uint32_t b)
{
    return 0xFF000000u | (r << 16) | (g << 8) | b;
}

constexpr std::uint32_t kBackground = Bgra(51, 51, 51);
constexpr std::uint32_t kMagenta = Bgra(255, 0, 255);
constexpr std::uint32_t kRed = Bgra(255, 0, 0);
constexpr std::uint32_t kGreen = Bgra(0, 255, 0);
constexpr std::uint32_t kBlue = Bgra(0, 0, 255);
constexpr std::uint32_t kYellow = Bgra(255, 255, 0);
constexpr std::uint32_t kCyan = Bgra(0, 255, 255);
constexpr std::uint32_t kWhite = Bgra(255, 255, 255);

std::wstring ShaderPath(const char* name)
{
    const std::string narrow = std::string(VEXLAR_SHADER_DIR) + name;
    return std::wstring(narrow.begin(), narrow.end());
}

ComPtr<ID3DBlob> ReadShader(const char* name)
{
    ComPtr<ID3DBlob> blob;
    EXPECT_HRESULT_SUCCEEDED(D3DReadFileToBlob(ShaderPath(name).c_str(), &blob)) << name;
    return blob;
}

class ShaderTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        created = D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION,
                                    &device, nullptr, &context);
    }

    // Released before the process ends: Wine's exit is only clean that way.
    static void TearDownTestSuite()
    {
        if (context) {
            context->ClearState();
        }
        context.Reset();
        device.Reset();
    }

    void SetUp() override
    {
        ASSERT_TRUE(device) << "no Direct3D 11 device: D3D11CreateDevice returned 0x" << std::hex
                            << static_cast<std::uint32_t>(created);
    }

    static ComPtr<ID3D11Buffer> MakeBuffer(UINT bind, const void* data, UINT size)
    {
        const D3D11_BUFFER_DESC desc{.ByteWidth = size, .Usage = D3D11_USAGE_DEFAULT, .BindFlags = bind};
        const D3D11_SUBRESOURCE_DATA initial{.pSysMem = data};
        ComPtr<ID3D11Buffer> buffer;
        EXPECT_HRESULT_SUCCEEDED(device->CreateBuffer(&desc, &initial, &buffer));
        return buffer;
    }

    struct Pipeline {
        ComPtr<ID3D11VertexShader> vertexShader;
        ComPtr<ID3D11PixelShader> pixelShader;
        ComPtr<ID3D11InputLayout> inputLayout;
    };

    static Pipeline LoadPipeline(const char* vertexFile, const char* pixelFile, UINT layoutElements)
    {
        Pipeline pipeline;
        ComPtr<ID3DBlob> vs = ReadShader(vertexFile);
        ComPtr<ID3DBlob> ps = ReadShader(pixelFile);
        if (!vs || !ps) {
            return pipeline;
        }
        EXPECT_HRESULT_SUCCEEDED(
            device->CreateVertexShader(vs->GetBufferPointer(), vs->GetBufferSize(), nullptr, &pipeline.vertexShader))
            << vertexFile;
        EXPECT_HRESULT_SUCCEEDED(
            device->CreatePixelShader(ps->GetBufferPointer(), ps->GetBufferSize(), nullptr, &pipeline.pixelShader))
            << pixelFile;
        EXPECT_HRESULT_SUCCEEDED(device->CreateInputLayout(
            kVertexElements.data(), layoutElements, vs->GetBufferPointer(), vs->GetBufferSize(), &pipeline.inputLayout))
            << vertexFile << " with " << layoutElements << " layout element(s)";
        return pipeline;
    }

    // Draws one mesh into a fresh 64x64 target and reads its pixels back.
    static ReadBackImage Render(const Pipeline& pipeline, std::span<const Vertex> vertices,
                                std::span<const std::uint16_t> indices, const ObjectConstants& constants,
                                ID3D11Buffer* pixelConstants, ID3D11ShaderResourceView* texture,
                                ID3D11SamplerState* sampler)
    {
        const D3D11_TEXTURE2D_DESC desc{.Width = kSize,
                                        .Height = kSize,
                                        .MipLevels = 1,
                                        .ArraySize = 1,
                                        .Format = DXGI_FORMAT_B8G8R8A8_UNORM,
                                        .SampleDesc = {.Count = 1},
                                        .Usage = D3D11_USAGE_DEFAULT,
                                        .BindFlags = D3D11_BIND_RENDER_TARGET};
        ComPtr<ID3D11Texture2D> target;
        ComPtr<ID3D11RenderTargetView> targetView;
        EXPECT_HRESULT_SUCCEEDED(device->CreateTexture2D(&desc, nullptr, &target));
        if (!target) {
            return {};
        }
        EXPECT_HRESULT_SUCCEEDED(device->CreateRenderTargetView(target.Get(), nullptr, &targetView));
        if (!targetView) {
            return {};
        }

        ComPtr<ID3D11Buffer> vertexBuffer =
            MakeBuffer(D3D11_BIND_VERTEX_BUFFER, vertices.data(), static_cast<UINT>(vertices.size_bytes()));
        ComPtr<ID3D11Buffer> indexBuffer =
            MakeBuffer(D3D11_BIND_INDEX_BUFFER, indices.data(), static_cast<UINT>(indices.size_bytes()));
        ComPtr<ID3D11Buffer> objectBuffer = MakeBuffer(D3D11_BIND_CONSTANT_BUFFER, &constants, sizeof constants);

        const float clear[4] = {0.2f, 0.2f, 0.2f, 1.0f};
        context->ClearRenderTargetView(targetView.Get(), clear);
        context->OMSetRenderTargets(1, targetView.GetAddressOf(), nullptr);
        const D3D11_VIEWPORT viewport{0, 0, float(kSize), float(kSize), 0, 1};
        context->RSSetViewports(1, &viewport);
        context->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
        const UINT stride = sizeof(Vertex);
        const UINT offset = 0;
        context->IASetVertexBuffers(0, 1, vertexBuffer.GetAddressOf(), &stride, &offset);
        context->IASetIndexBuffer(indexBuffer.Get(), DXGI_FORMAT_R16_UINT, 0);
        context->IASetInputLayout(pipeline.inputLayout.Get());
        context->VSSetShader(pipeline.vertexShader.Get(), nullptr, 0);
        context->VSSetConstantBuffers(0, 1, objectBuffer.GetAddressOf());
        context->PSSetShader(pipeline.pixelShader.Get(), nullptr, 0);
        context->PSSetConstantBuffers(0, 1, &pixelConstants);
        context->PSSetShaderResources(0, 1, &texture);
        context->PSSetSamplers(0, 1, &sampler);
        context->DrawIndexed(static_cast<UINT>(indices.size()), 0, 0);

        ReadBackImage image = ReadBack(device.Get(), context.Get(), targetView.Get());
        EXPECT_EQ(image.width, kSize) << "read-back failed";
        context->ClearState();
        return image;
    }

    static inline ComPtr<ID3D11Device> device;
    static inline ComPtr<ID3D11DeviceContext> context;
    static inline HRESULT created = S_OK;
};

// The pixel as 0xAARRGGBB (the target is B8G8R8A8); 0 if nothing was read.
std::uint32_t At(const ReadBackImage& image, std::uint32_t x, std::uint32_t y)
{
    if (x >= image.width || y >= image.height) {
        return 0;
    }
    const ReadBackImage::Pixel p = image.At(x, y);
    return std::uint32_t(p.c0) | std::uint32_t(p.c1) << 8 | std::uint32_t(p.c2) << 16 | std::uint32_t(p.c3) << 24;
}

// Reflection of a compiled shader, or null where the compiler library has none.
ComPtr<ID3D11ShaderReflection> Reflect(ID3DBlob* blob)
{
    ComPtr<ID3D11ShaderReflection> reflection;
    if (blob) {
        D3DReflect(blob->GetBufferPointer(), blob->GetBufferSize(), IID_ID3D11ShaderReflection,
                   reinterpret_cast<void**>(reflection.GetAddressOf()));
    }
    return reflection;
}

TEST_F(ShaderTest, CompiledFilesCreateShadersAndAcceptTheProgramsInputLayouts)
{
    const Pipeline cube = LoadPipeline("VertexShader.cso", "PixelShader.cso", kCubeElementCount);
    EXPECT_TRUE(cube.vertexShader && cube.pixelShader && cube.inputLayout);
    const Pipeline pyramid = LoadPipeline("VSDefault.cso", "PSDefault.cso", kPyramidElementCount);
    EXPECT_TRUE(pyramid.vertexShader && pyramid.pixelShader && pyramid.inputLayout);
}

// What drawing cannot show: the buffer sizes the program's buffers must
// match, and the slots. Input semantics are already proven by the layouts.
TEST_F(ShaderTest, ReflectionShowsConstantBufferSizesAndSlots)
{
    struct Expected {
        const char* file;
        D3D_SHADER_INPUT_TYPE type;
        UINT size;  // constant buffers only
    };
    const Expected bindings[] = {
        {"VertexShader.cso", D3D_SIT_CBUFFER, sizeof(ObjectConstants)},
        {"VSDefault.cso", D3D_SIT_CBUFFER, sizeof(ObjectConstants)},
        {"PSDefault.cso", D3D_SIT_CBUFFER, sizeof(ColourTable)},
        {"PixelShader.cso", D3D_SIT_TEXTURE, 0},
        {"PixelShader.cso", D3D_SIT_SAMPLER, 0},
    };
    for (const Expected& e : bindings) {
        ComPtr<ID3DBlob> blob = ReadShader(e.file);
        ComPtr<ID3D11ShaderReflection> reflection = Reflect(blob.Get());
        if (!reflection) {
            GTEST_SKIP() << "D3DReflect is not available";
        }
        D3D11_SHADER_DESC desc{};
        ASSERT_HRESULT_SUCCEEDED(reflection->GetDesc(&desc));
        bool found = false;
        for (UINT i = 0; i < desc.BoundResources; ++i) {
            D3D11_SHADER_INPUT_BIND_DESC bind{};
            ASSERT_HRESULT_SUCCEEDED(reflection->GetResourceBindingDesc(i, &bind));
            if (bind.Type != e.type) {
                continue;
            }
            found = true;
            EXPECT_EQ(bind.BindPoint, 0u) << e.file;
            if (e.type == D3D_SIT_CBUFFER) {
                D3D11_SHADER_BUFFER_DESC buffer{};
                ASSERT_HRESULT_SUCCEEDED(reflection->GetConstantBufferByName(bind.Name)->GetDesc(&buffer));
                EXPECT_EQ(buffer.Size, e.size) << e.file;
            }
        }
        EXPECT_TRUE(found) << e.file << " binds no resource of type " << e.type;
    }
}

TEST_F(ShaderTest, PyramidTrianglesShowTheirOwnTableEntries)
{
    const Pipeline pipeline = LoadPipeline("VSDefault.cso", "PSDefault.cso", kPyramidElementCount);
    ASSERT_TRUE(pipeline.vertexShader && pipeline.pixelShader && pipeline.inputLayout);
    ComPtr<ID3D11Buffer> table = MakeBuffer(D3D11_BIND_CONSTANT_BUFFER, kPyramidColours.data(), sizeof(ColourTable));
    const auto draw = [&](const ObjectConstants& constants) {
        return Render(pipeline, kPyramidVertices, kPyramidIndices, constants, table.Get(), nullptr, nullptr);
    };
    const Vector4 up{0, 1, 0};

    // Each side seen head-on, the pyramid lowered by half its height so that
    // it sits in the middle of the picture.
    struct Side {
        const char* name;
        Vector4 forward;
        std::uint32_t colour;
    };
    const Side sides[] = {
        {"+z side", {0, 0, -1}, kGreen},
        {"+x side", {-1, 0, 0}, kBlue},
        {"-z side", {0, 0, 1}, kYellow},
        {"-x side", {1, 0, 0}, kCyan},
    };
    for (const Side& side : sides) {
        const auto pixels =
            draw(MakeConstants(MakeWorld(0, 0, 0, -0.75f, 0), LookAlong(side.forward, up), Orthographic(0.5f)));
        EXPECT_EQ(At(pixels, 32, 32), side.colour) << side.name;
        // Near the two lower corners of the face, where |x| comes close to |z|.
        EXPECT_EQ(At(pixels, 19, 42), side.colour) << side.name;
        EXPECT_EQ(At(pixels, 45, 42), side.colour) << side.name;
        EXPECT_EQ(At(pixels, 32, 50), kBackground) << side.name << ": below the base edge";
        EXPECT_EQ(At(pixels, 32, 14), kBackground) << side.name << ": above the apex";
    }

    // From straight above all four sides show; x runs right and z up in the picture.
    {
        const Vector4 down{0, -1, 0};
        const Vector4 north{0, 0, 1};
        const auto pixels = draw(MakeConstants(MakeIdentity(), LookAlong(down, north), Orthographic(0.5f)));
        EXPECT_EQ(At(pixels, 32, 20), kGreen);
        EXPECT_EQ(At(pixels, 44, 32), kBlue);
        EXPECT_EQ(At(pixels, 32, 44), kYellow);
        EXPECT_EQ(At(pixels, 20, 32), kCyan);
        EXPECT_EQ(At(pixels, 40, 22), kGreen) << "just on the +z side of the x = z edge";
        EXPECT_EQ(At(pixels, 42, 24), kBlue) << "just on the +x side of the x = z edge";
    }

    // From straight below only the base shows, split along x = z; the sides
    // face away and are culled. Here -x runs right and z up in the picture.
    {
        const Vector4 north{0, 0, 1};
        const auto pixels = draw(MakeConstants(MakeIdentity(), LookAlong(up, north), Orthographic(0.5f)));
        EXPECT_EQ(At(pixels, 44, 24), kMagenta) << "x < z";
        EXPECT_EQ(At(pixels, 24, 20), kMagenta) << "x < z";
        EXPECT_EQ(At(pixels, 20, 40), kRed) << "x > z";
        EXPECT_EQ(At(pixels, 40, 44), kRed) << "x > z";
        EXPECT_EQ(At(pixels, 32, 8), kBackground) << "outside the base";
    }
}

TEST_F(ShaderTest, CubeFaceShowsTheTextureUprightAndUnmirrored)
{
    const Pipeline pipeline = LoadPipeline("VertexShader.cso", "PixelShader.cso", kCubeElementCount);
    ASSERT_TRUE(pipeline.vertexShader && pipeline.pixelShader && pipeline.inputLayout);

    // 2x2 texture: red, green on the top row; blue, white below.
    const std::uint32_t texels[4] = {kRed, kGreen, kBlue, kWhite};
    const D3D11_TEXTURE2D_DESC desc{.Width = 2,
                                    .Height = 2,
                                    .MipLevels = 1,
                                    .ArraySize = 1,
                                    .Format = DXGI_FORMAT_B8G8R8A8_UNORM,
                                    .SampleDesc = {.Count = 1},
                                    .Usage = D3D11_USAGE_DEFAULT,
                                    .BindFlags = D3D11_BIND_SHADER_RESOURCE};
    const D3D11_SUBRESOURCE_DATA initial{.pSysMem = texels, .SysMemPitch = 8};
    ComPtr<ID3D11Texture2D> texture;
    ASSERT_HRESULT_SUCCEEDED(device->CreateTexture2D(&desc, &initial, &texture));
    ComPtr<ID3D11ShaderResourceView> view;
    ASSERT_HRESULT_SUCCEEDED(device->CreateShaderResourceView(texture.Get(), nullptr, &view));
    // Point sampling keeps the texel colours exact.
    const D3D11_SAMPLER_DESC samplerDesc{.Filter = D3D11_FILTER_MIN_MAG_MIP_POINT,
                                         .AddressU = D3D11_TEXTURE_ADDRESS_WRAP,
                                         .AddressV = D3D11_TEXTURE_ADDRESS_WRAP,
                                         .AddressW = D3D11_TEXTURE_ADDRESS_WRAP,
                                         .MaxLOD = D3D11_FLOAT32_MAX};
    ComPtr<ID3D11SamplerState> sampler;
    ASSERT_HRESULT_SUCCEEDED(device->CreateSamplerState(&samplerDesc, &sampler));

    // The whole cube through the program's perspective, the eye 1 in front of
    // the z = -1 face with a 90-degree view, so that face fills the picture and
    // every other face turns away. The world shift and the camera's equal one
    // cancel only when each matrix is applied the right way round.
    const Matrix4 camera = MakeLookAt({0.5f, 0, -2}, {0.5f, 0, -1}, {0, 1, 0});
    const Matrix4 projection = MakePerspective(1.5707964f, 1.0f, 0.1f, 10.0f);
    const auto pixels =
        Render(pipeline, kCubeVertices, kCubeIndices, MakeConstants(MakeWorld(0, 0, 0.5f, 0, 0), camera, projection),
               nullptr, view.Get(), sampler.Get());
    EXPECT_EQ(At(pixels, 16, 16), kRed);
    EXPECT_EQ(At(pixels, 48, 16), kGreen);
    EXPECT_EQ(At(pixels, 16, 48), kBlue);
    EXPECT_EQ(At(pixels, 48, 48), kWhite);
}

}  // namespace
