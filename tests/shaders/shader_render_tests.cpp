// The compiled shaders on a real Direct3D 11 device: they load, match the
// program's input layouts and constant buffers, and draw what they should.

#include <windows.h>
#include <d3d11.h>
#include <d3d11shader.h>
#include <d3dcompiler.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

constexpr UINT kSize = 64;

// What the program uploads to vertex constant-buffer slot 0.
struct ObjectConstants {
    float world[16];
    float view[16];
    float projection[16];
    float time;
    float padding[3];
};
static_assert(sizeof(ObjectConstants) == 208);

struct Vertex {
    float x, y, z, u, v;
};
static_assert(sizeof(Vertex) == 20);

const D3D11_INPUT_ELEMENT_DESC kLayout[] = {
    {"Position", 0, DXGI_FORMAT_R32G32B32_FLOAT, 0, 0, D3D11_INPUT_PER_VERTEX_DATA, 0},
    {"TexCoord", 0, DXGI_FORMAT_R32G32_FLOAT, 0, 12, D3D11_INPUT_PER_VERTEX_DATA, 0},
};

const float kPyramidColours[12][4] = {
    {1, 0, 1, 0}, {1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {1, 1, 0, 0}, {0, 1, 1, 0},
};

const Vertex kPyramidVertices[] = {
    {-1, 0, 1, 0, 0}, {1, 0, 1, 0, 0}, {-1, 0, -1, 0, 0}, {1, 0, -1, 0, 0}, {0, 1.5f, 0, 0, 0},
};
const std::uint16_t kPyramidIndices[] = {0, 2, 1, 1, 2, 3, 0, 1, 4, 1, 3, 4, 3, 2, 4, 2, 0, 4};

// The cube's face at z = -1, as the cube mesh has it.
const Vertex kCubeFrontVertices[] = {
    {-1, -1, -1, 0, 1}, {-1, 1, -1, 0, 0}, {1, 1, -1, 1, 0}, {1, -1, -1, 1, 1},
};
const std::uint16_t kCubeFrontIndices[] = {0, 1, 2, 0, 2, 3};

// Row-major, row-vector matrices as the program builds them.
struct Matrix {
    float m[4][4];
};

Matrix Identity()
{
    return {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
}

Matrix Translation(float x, float y, float z)
{
    Matrix t = Identity();
    t.m[3][0] = x;
    t.m[3][1] = y;
    t.m[3][2] = z;
    return t;
}

// A camera at the origin looking along `forward` with `up` up (left-handed).
Matrix LookAlong(const float (&forward)[3], const float (&up)[3])
{
    const float right[3] = {up[1] * forward[2] - up[2] * forward[1], up[2] * forward[0] - up[0] * forward[2],
                            up[0] * forward[1] - up[1] * forward[0]};
    Matrix v = Identity();
    for (int i = 0; i < 3; ++i) {
        v.m[i][0] = right[i];
        v.m[i][1] = up[i];
        v.m[i][2] = forward[i];
    }
    return v;
}

// Orthographic: x and y scaled, view depth -5..5 mapped to 0..1.
Matrix Orthographic(float scale)
{
    Matrix p = Identity();
    p.m[0][0] = scale;
    p.m[1][1] = scale;
    p.m[2][2] = 0.1f;
    p.m[3][2] = 0.5f;
    return p;
}

// The program uploads each matrix transposed.
void StoreTransposed(const Matrix& source, float (&target)[16])
{
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            target[column * 4 + row] = source.m[row][column];
        }
    }
}

ObjectConstants MakeConstants(const Matrix& world, const Matrix& view, const Matrix& projection)
{
    ObjectConstants constants{};
    StoreTransposed(world, constants.world);
    StoreTransposed(view, constants.view);
    StoreTransposed(projection, constants.projection);
    constants.time = 12.5f;
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
        D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION,
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
        ASSERT_TRUE(device) << "no Direct3D 11 device";
    }

    static ComPtr<ID3D11Buffer> MakeBuffer(UINT bind, const void* data, UINT size)
    {
        D3D11_BUFFER_DESC desc{};
        desc.ByteWidth = size;
        desc.Usage = D3D11_USAGE_DEFAULT;
        desc.BindFlags = bind;
        D3D11_SUBRESOURCE_DATA initial{data, 0, 0};
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
        EXPECT_HRESULT_SUCCEEDED(device->CreateInputLayout(kLayout, layoutElements, vs->GetBufferPointer(),
                                                           vs->GetBufferSize(), &pipeline.inputLayout))
            << vertexFile << " with " << layoutElements << " layout element(s)";
        return pipeline;
    }

    // Draws one mesh into a fresh 64x64 target and returns its pixels.
    template <std::size_t VertexCount, std::size_t IndexCount>
    static std::vector<std::uint32_t> Render(const Pipeline& pipeline, const Vertex (&vertices)[VertexCount],
                                             const std::uint16_t (&indices)[IndexCount],
                                             const ObjectConstants& constants, ID3D11Buffer* pixelConstants,
                                             ID3D11ShaderResourceView* texture, ID3D11SamplerState* sampler)
    {
        D3D11_TEXTURE2D_DESC desc{};
        desc.Width = kSize;
        desc.Height = kSize;
        desc.MipLevels = 1;
        desc.ArraySize = 1;
        desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
        desc.SampleDesc.Count = 1;
        desc.Usage = D3D11_USAGE_DEFAULT;
        desc.BindFlags = D3D11_BIND_RENDER_TARGET;
        ComPtr<ID3D11Texture2D> target;
        ComPtr<ID3D11RenderTargetView> targetView;
        EXPECT_HRESULT_SUCCEEDED(device->CreateTexture2D(&desc, nullptr, &target));
        if (!target) {
            return {};
        }
        EXPECT_HRESULT_SUCCEEDED(device->CreateRenderTargetView(target.Get(), nullptr, &targetView));
        desc.Usage = D3D11_USAGE_STAGING;
        desc.BindFlags = 0;
        desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
        ComPtr<ID3D11Texture2D> staging;
        EXPECT_HRESULT_SUCCEEDED(device->CreateTexture2D(&desc, nullptr, &staging));
        if (!targetView || !staging) {
            return {};
        }

        ComPtr<ID3D11Buffer> vertexBuffer = MakeBuffer(D3D11_BIND_VERTEX_BUFFER, vertices, sizeof vertices);
        ComPtr<ID3D11Buffer> indexBuffer = MakeBuffer(D3D11_BIND_INDEX_BUFFER, indices, sizeof indices);
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
        context->DrawIndexed(static_cast<UINT>(IndexCount), 0, 0);
        context->CopyResource(staging.Get(), target.Get());

        std::vector<std::uint32_t> pixels(kSize * kSize);
        D3D11_MAPPED_SUBRESOURCE mapped{};
        EXPECT_HRESULT_SUCCEEDED(context->Map(staging.Get(), 0, D3D11_MAP_READ, 0, &mapped));
        if (mapped.pData) {
            for (UINT row = 0; row < kSize; ++row) {
                std::memcpy(&pixels[row * kSize], static_cast<const char*>(mapped.pData) + row * mapped.RowPitch,
                            kSize * 4);
            }
            context->Unmap(staging.Get(), 0);
        }
        context->ClearState();
        return pixels;
    }

    static inline ComPtr<ID3D11Device> device;
    static inline ComPtr<ID3D11DeviceContext> context;
};

std::uint32_t At(const std::vector<std::uint32_t>& pixels, UINT x, UINT y)
{
    return pixels.empty() ? 0 : pixels[y * kSize + x];
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
    // The cube's layout has both elements, the pyramid's only the position.
    const Pipeline cube = LoadPipeline("VertexShader.cso", "PixelShader.cso", 2);
    EXPECT_TRUE(cube.vertexShader && cube.pixelShader && cube.inputLayout);
    const Pipeline pyramid = LoadPipeline("VSDefault.cso", "PSDefault.cso", 1);
    EXPECT_TRUE(pyramid.vertexShader && pyramid.pixelShader && pyramid.inputLayout);
}

// What drawing cannot show: the buffer sizes the program's buffers must
// match, and the slots. Input semantics are already proven by the layouts.
TEST_F(ShaderTest, ReflectionShowsConstantBufferSizesAndSlots)
{
    struct Expected {
        const char* file;
        D3D_SHADER_INPUT_TYPE type;
        UINT size; // constant buffers only
    };
    const Expected bindings[] = {
        {"VertexShader.cso", D3D_SIT_CBUFFER, 208}, {"VSDefault.cso", D3D_SIT_CBUFFER, 208},
        {"PSDefault.cso", D3D_SIT_CBUFFER, 192},    {"PixelShader.cso", D3D_SIT_TEXTURE, 0},
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
    const Pipeline pipeline = LoadPipeline("VSDefault.cso", "PSDefault.cso", 1);
    ASSERT_TRUE(pipeline.vertexShader && pipeline.pixelShader && pipeline.inputLayout);
    ComPtr<ID3D11Buffer> table = MakeBuffer(D3D11_BIND_CONSTANT_BUFFER, kPyramidColours, sizeof kPyramidColours);
    const float up[3] = {0, 1, 0};

    // Each side seen head-on, the pyramid lowered by half its height so that
    // it sits in the middle of the picture.
    struct Side {
        const char* name;
        float forward[3];
        std::uint32_t colour;
    };
    const Side sides[] = {
        {"+z side", {0, 0, -1}, kGreen},
        {"+x side", {-1, 0, 0}, kBlue},
        {"-z side", {0, 0, 1}, kYellow},
        {"-x side", {1, 0, 0}, kCyan},
    };
    for (const Side& side : sides) {
        const auto pixels = Render(pipeline, kPyramidVertices, kPyramidIndices,
                                   MakeConstants(Translation(0, -0.75f, 0), LookAlong(side.forward, up),
                                                 Orthographic(0.5f)),
                                   table.Get(), nullptr, nullptr);
        EXPECT_EQ(At(pixels, 32, 32), side.colour) << side.name;
        // Near the two lower corners of the face, where |x| comes close to |z|.
        EXPECT_EQ(At(pixels, 19, 42), side.colour) << side.name;
        EXPECT_EQ(At(pixels, 45, 42), side.colour) << side.name;
        EXPECT_EQ(At(pixels, 32, 50), kBackground) << side.name << ": below the base edge";
        EXPECT_EQ(At(pixels, 32, 14), kBackground) << side.name << ": above the apex";
    }

    // From straight above all four sides show; x runs right and z up in the picture.
    {
        const float down[3] = {0, -1, 0};
        const float north[3] = {0, 0, 1};
        const auto pixels = Render(pipeline, kPyramidVertices, kPyramidIndices,
                                   MakeConstants(Identity(), LookAlong(down, north), Orthographic(0.5f)),
                                   table.Get(), nullptr, nullptr);
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
        const float upwards[3] = {0, 1, 0};
        const float north[3] = {0, 0, 1};
        const auto pixels = Render(pipeline, kPyramidVertices, kPyramidIndices,
                                   MakeConstants(Identity(), LookAlong(upwards, north), Orthographic(0.5f)),
                                   table.Get(), nullptr, nullptr);
        EXPECT_EQ(At(pixels, 44, 24), kMagenta) << "x < z";
        EXPECT_EQ(At(pixels, 24, 20), kMagenta) << "x < z";
        EXPECT_EQ(At(pixels, 20, 40), kRed) << "x > z";
        EXPECT_EQ(At(pixels, 40, 44), kRed) << "x > z";
        EXPECT_EQ(At(pixels, 32, 8), kBackground) << "outside the base";
    }
}

TEST_F(ShaderTest, CubeFaceShowsTheTextureUprightAndUnmirrored)
{
    const Pipeline pipeline = LoadPipeline("VertexShader.cso", "PixelShader.cso", 2);
    ASSERT_TRUE(pipeline.vertexShader && pipeline.pixelShader && pipeline.inputLayout);

    // 2x2 texture: red, green on the top row; blue, white below.
    const std::uint32_t texels[4] = {kRed, kGreen, kBlue, kWhite};
    D3D11_TEXTURE2D_DESC desc{};
    desc.Width = 2;
    desc.Height = 2;
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
    D3D11_SUBRESOURCE_DATA initial{texels, 8, 0};
    ComPtr<ID3D11Texture2D> texture;
    ASSERT_HRESULT_SUCCEEDED(device->CreateTexture2D(&desc, &initial, &texture));
    ComPtr<ID3D11ShaderResourceView> view;
    ASSERT_HRESULT_SUCCEEDED(device->CreateShaderResourceView(texture.Get(), nullptr, &view));
    // Point sampling keeps the texel colours exact.
    D3D11_SAMPLER_DESC samplerDesc{};
    samplerDesc.Filter = D3D11_FILTER_MIN_MAG_MIP_POINT;
    samplerDesc.AddressU = samplerDesc.AddressV = samplerDesc.AddressW = D3D11_TEXTURE_ADDRESS_WRAP;
    samplerDesc.MaxLOD = D3D11_FLOAT32_MAX;
    ComPtr<ID3D11SamplerState> sampler;
    ASSERT_HRESULT_SUCCEEDED(device->CreateSamplerState(&samplerDesc, &sampler));

    // Looking along +z at the cube's z = -1 face, which fills the picture. The world shift and the camera's
    // opposite one cancel only when each matrix is applied the right way round.
    const float forward[3] = {0, 0, 1};
    const float up[3] = {0, 1, 0};
    Matrix camera = LookAlong(forward, up);
    camera.m[3][0] = -0.5f;
    const auto pixels = Render(pipeline, kCubeFrontVertices, kCubeFrontIndices,
                               MakeConstants(Translation(0.5f, 0, 0), camera, Orthographic(1.0f)), nullptr,
                               view.Get(), sampler.Get());
    EXPECT_EQ(At(pixels, 16, 16), kRed);
    EXPECT_EQ(At(pixels, 48, 16), kGreen);
    EXPECT_EQ(At(pixels, 16, 48), kBlue);
    EXPECT_EQ(At(pixels, 48, 48), kWhite);
}

} // namespace
