#include "render/camera.h"
#include "render/graphics.h"
#include "render/materials.h"
#include "render/mesh_object.h"
#include "render/meshes.h"
#include "scene/scene_content.h"
#include "tests/render/recording_context.h"
#include "tests/render/test_window.h"
#include "tests/support/read_back.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

// These tests run from the run folder, beside the compiled shaders and the texture.
class DeviceTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        window = std::make_unique<TestWindow>();
        graphics = std::make_unique<Graphics>(window->Handle());
    }
    static void TearDownTestSuite()
    {
        graphics.reset();
        window.reset();
        CoUninitialize();
    }

    static ID3D11Device* Device() { return graphics->device.Get(); }

    static std::vector<std::uint8_t> BufferBytes(ID3D11Buffer* buffer)
    {
        return ReadBackBuffer(Device(), graphics->context.Get(), buffer);
    }

    static inline std::unique_ptr<TestWindow> window;
    static inline std::unique_ptr<Graphics> graphics;
};

D3D11_BUFFER_DESC DescOf(ID3D11Buffer* buffer)
{
    D3D11_BUFFER_DESC desc{};
    buffer->GetDesc(&desc);
    return desc;
}

using MeshBuffersOnDevice = DeviceTest;

TEST_F(MeshBuffersOnDevice, HoldExactlyTheTables)
{
    const MeshBuffers cube = CreateCubeMesh(Device());
    const MeshBuffers pyramid = CreatePyramidMesh(Device());
    ASSERT_TRUE(cube.vertexBuffer && cube.indexBuffer && pyramid.vertexBuffer && pyramid.indexBuffer);
    EXPECT_EQ(DescOf(cube.vertexBuffer.Get()).ByteWidth, 480u);
    EXPECT_EQ(DescOf(pyramid.vertexBuffer.Get()).ByteWidth, 100u);
    EXPECT_EQ(DescOf(cube.indexBuffer.Get()).ByteWidth, 72u);
    EXPECT_EQ(DescOf(pyramid.indexBuffer.Get()).ByteWidth, 36u);
    EXPECT_EQ(DescOf(cube.vertexBuffer.Get()).BindFlags, UINT(D3D11_BIND_VERTEX_BUFFER));
    EXPECT_EQ(DescOf(cube.indexBuffer.Get()).BindFlags, UINT(D3D11_BIND_INDEX_BUFFER));
    EXPECT_EQ(cube.indexCount, 36u);
    EXPECT_EQ(pyramid.indexCount, 18u);

    const auto vertexBytes = BufferBytes(cube.vertexBuffer.Get());
    ASSERT_EQ(vertexBytes.size(), sizeof(kCubeVertices));
    EXPECT_EQ(std::memcmp(vertexBytes.data(), kCubeVertices.data(), sizeof(kCubeVertices)), 0);
    const auto indexBytes = BufferBytes(pyramid.indexBuffer.Get());
    ASSERT_EQ(indexBytes.size(), sizeof(kPyramidIndices));
    EXPECT_EQ(std::memcmp(indexBytes.data(), kPyramidIndices.data(), sizeof(kPyramidIndices)), 0);
}

TEST_F(MeshBuffersOnDevice, WithoutADeviceKeepTheCountAndNoBuffers)
{
    const MeshBuffers cube = CreateCubeMesh(nullptr);
    EXPECT_FALSE(cube.vertexBuffer);
    EXPECT_FALSE(cube.indexBuffer);
    EXPECT_EQ(cube.indexCount, 36u);
}

TEST(MeshObjectTakeMesh, TakesBothBuffersAndTheCountLeavingTheMeshEmpty)
{
    MeshObject object;
    MeshBuffers mesh;
    mesh.indexCount = 18;
    object.TakeMesh(std::move(mesh));
    EXPECT_EQ(object.indexCount, 18u);
    // NOLINTNEXTLINE(bugprone-use-after-move): what the move left behind is what is tested.
    EXPECT_FALSE(mesh.vertexBuffer);
    EXPECT_FALSE(mesh.indexBuffer);
}

using Materials = DeviceTest;

TEST_F(Materials, ColourTablesAre192BytesOfSixColoursWithZeroAlpha)
{
    const PyramidMaterial pyramid(kPyramidPixelShader, kPyramidVertexShader, Device(), kPyramidColours);
    const CubeMaterial cube(kCubePixelShader, kCubeVertexShader, Device(), kCubeColours, kCubeTexture);
    for (const Material* material : {static_cast<const Material*>(&pyramid), static_cast<const Material*>(&cube)}) {
        ASSERT_TRUE(material->constantBuffer);
        const D3D11_BUFFER_DESC desc = DescOf(material->constantBuffer.Get());
        EXPECT_EQ(desc.ByteWidth, 192u);
        EXPECT_EQ(desc.BindFlags, UINT(D3D11_BIND_CONSTANT_BUFFER));
        EXPECT_EQ(desc.Usage, D3D11_USAGE_DEFAULT);
    }
    const auto pyramidBytes = BufferBytes(pyramid.constantBuffer.Get());
    ASSERT_EQ(pyramidBytes.size(), 192u);
    EXPECT_EQ(std::memcmp(pyramidBytes.data(), kPyramidColours.data(), 192), 0);
    const auto cubeBytes = BufferBytes(cube.constantBuffer.Get());
    ASSERT_EQ(cubeBytes.size(), 192u);
    EXPECT_EQ(std::memcmp(cubeBytes.data(), kCubeColours.data(), 192), 0);

    for (int entry = 0; entry < 12; ++entry) {
        EXPECT_EQ(kCubeColours[entry].a, 0.0f);
        EXPECT_EQ(kPyramidColours[entry].a, 0.0f);
        if (entry >= 6) {
            const ColourEntry& e = kPyramidColours[entry];
            EXPECT_EQ(e.r + e.g + e.b, 0.0f) << entry;
        } else {
            // The cube gives each of the pyramid's six colours twice in a row.
            EXPECT_EQ(std::memcmp(&kCubeColours[2 * entry], &kPyramidColours[entry], 16), 0) << entry;
            EXPECT_EQ(std::memcmp(&kCubeColours[2 * entry + 1], &kPyramidColours[entry], 16), 0) << entry;
        }
    }
}

TEST_F(Materials, LoadEveryShaderLayoutTextureAndSampler)
{
    const CubeMaterial cube(kCubePixelShader, kCubeVertexShader, Device(), kCubeColours, kCubeTexture);
    EXPECT_TRUE(cube.pixelShader);
    EXPECT_TRUE(cube.vertexShader);
    EXPECT_TRUE(cube.inputLayout);
    EXPECT_TRUE(cube.textureView);
    ASSERT_TRUE(cube.sampler);
    D3D11_SAMPLER_DESC sampler{};
    cube.sampler->GetDesc(&sampler);
    EXPECT_EQ(sampler.Filter, D3D11_FILTER_MIN_MAG_MIP_LINEAR);
    EXPECT_EQ(sampler.AddressU, D3D11_TEXTURE_ADDRESS_WRAP);
    EXPECT_EQ(sampler.AddressV, D3D11_TEXTURE_ADDRESS_WRAP);
    EXPECT_EQ(sampler.AddressW, D3D11_TEXTURE_ADDRESS_WRAP);
    EXPECT_EQ(sampler.ComparisonFunc, D3D11_COMPARISON_NEVER);
    EXPECT_EQ(sampler.MaxLOD, D3D11_FLOAT32_MAX);

    const PyramidMaterial pyramid(kPyramidPixelShader, kPyramidVertexShader, Device(), kPyramidColours);
    EXPECT_TRUE(pyramid.pixelShader);
    EXPECT_TRUE(pyramid.vertexShader);
    EXPECT_TRUE(pyramid.inputLayout);
}

TEST_F(Materials, FirstPathIsAlwaysThePixelShader)
{
    // With the two paths swapped neither file is a shader of the stage it is
    // given to, so both creations fail.
    const PyramidMaterial swapped("shaders\\VSDefault.cso", "shaders\\PSDefault.cso", Device(), kPyramidColours);
    EXPECT_FALSE(swapped.pixelShader);
    EXPECT_FALSE(swapped.vertexShader);
    EXPECT_FALSE(swapped.inputLayout);
}

TEST_F(Materials, MissingShaderFilesLeaveShaderAndLayoutEmpty)
{
    const CubeMaterial cube("shaders\\Missing.cso", "shaders\\AlsoMissing.cso", Device(), kCubeColours, kCubeTexture);
    EXPECT_FALSE(cube.pixelShader);
    EXPECT_FALSE(cube.vertexShader);
    EXPECT_FALSE(cube.inputLayout);
    EXPECT_TRUE(cube.constantBuffer);
    EXPECT_TRUE(cube.sampler);
}

TEST(InputLayouts, PositionThenTexCoordAtByte12WithThePyramidTakingOnlyThePosition)
{
    EXPECT_STREQ(kVertexElements[0].SemanticName, "Position");
    EXPECT_EQ(kVertexElements[0].Format, DXGI_FORMAT_R32G32B32_FLOAT);
    EXPECT_EQ(kVertexElements[0].AlignedByteOffset, offsetof(Vertex, position));
    EXPECT_STREQ(kVertexElements[1].SemanticName, "TexCoord");
    EXPECT_EQ(kVertexElements[1].Format, DXGI_FORMAT_R32G32_FLOAT);
    EXPECT_EQ(kVertexElements[1].AlignedByteOffset, 12u);
    EXPECT_EQ(offsetof(Vertex, texCoord), 12u);
    EXPECT_EQ(kCubeElementCount, 2u);
    EXPECT_EQ(kPyramidElementCount, 1u);
}

TEST(WidenPathBytes, ExtendsEachByteWithItsSign)
{
    EXPECT_EQ(WidenPathBytes("shaders\\A.cso"), L"shaders\\A.cso");
    const std::wstring wide = WidenPathBytes("\xE9t\x7F");
    ASSERT_EQ(wide.size(), 3u);
    EXPECT_EQ(static_cast<unsigned>(wide[0]), 0xFFE9u);
    EXPECT_EQ(static_cast<unsigned>(wide[1]), unsigned('t'));
    EXPECT_EQ(static_cast<unsigned>(wide[2]), 0x7Fu);
}

class DrawObjectTest : public DeviceTest {
protected:
    static void SetUpTestSuite()
    {
        DeviceTest::SetUpTestSuite();
        cubeMaterial =
            std::make_unique<CubeMaterial>(kCubePixelShader, kCubeVertexShader, Device(), kCubeColours, kCubeTexture);
        pyramidMaterial =
            std::make_unique<PyramidMaterial>(kPyramidPixelShader, kPyramidVertexShader, Device(), kPyramidColours);
        camera = std::make_unique<Camera>(1280u, 720u, nullptr);
        cube.TakeMesh(CreateCubeMesh(Device()));
        cube.material = cubeMaterial.get();
        pyramid.TakeMesh(CreatePyramidMesh(Device()));
        pyramid.material = pyramidMaterial.get();
    }
    static void TearDownTestSuite()
    {
        cube = MeshObject{};
        pyramid = MeshObject{};
        cubeMaterial.reset();
        pyramidMaterial.reset();
        camera.reset();
        DeviceTest::TearDownTestSuite();
    }
    static ID3D11DeviceContext* Context() { return graphics->context.Get(); }

    static inline std::unique_ptr<CubeMaterial> cubeMaterial;
    static inline std::unique_ptr<PyramidMaterial> pyramidMaterial;
    static inline std::unique_ptr<Camera> camera;
    static inline MeshObject cube;
    static inline MeshObject pyramid;
};

TEST_F(DrawObjectTest, BindsMeshMaterialAndAFreshConstantBuffer)
{
    graphics->DrawObject(pyramid, *camera, 0.5f, -0.25f, 1, 2, 3, 4.5f);
    ComPtr<ID3D11Buffer> first = pyramid.constantBuffer;
    ASSERT_TRUE(first);

    ComPtr<ID3D11Buffer> vertexBuffer;
    UINT stride = 0;
    UINT offset = 1;
    Context()->IAGetVertexBuffers(0, 1, &vertexBuffer, &stride, &offset);
    EXPECT_EQ(vertexBuffer.Get(), pyramid.vertexBuffer.Get());
    EXPECT_EQ(stride, 20u);
    EXPECT_EQ(offset, 0u);
    ComPtr<ID3D11Buffer> indexBuffer;
    DXGI_FORMAT indexFormat{};
    Context()->IAGetIndexBuffer(&indexBuffer, &indexFormat, &offset);
    EXPECT_EQ(indexBuffer.Get(), pyramid.indexBuffer.Get());
    EXPECT_EQ(indexFormat, DXGI_FORMAT_R16_UINT);
    ComPtr<ID3D11InputLayout> layout;
    Context()->IAGetInputLayout(&layout);
    EXPECT_EQ(layout.Get(), pyramidMaterial->inputLayout.Get());
    ComPtr<ID3D11VertexShader> vertexShader;
    Context()->VSGetShader(&vertexShader, nullptr, nullptr);
    EXPECT_EQ(vertexShader.Get(), pyramidMaterial->vertexShader.Get());
    ComPtr<ID3D11PixelShader> pixelShader;
    Context()->PSGetShader(&pixelShader, nullptr, nullptr);
    EXPECT_EQ(pixelShader.Get(), pyramidMaterial->pixelShader.Get());
    ComPtr<ID3D11Buffer> vsConstants;
    Context()->VSGetConstantBuffers(0, 1, &vsConstants);
    EXPECT_EQ(vsConstants.Get(), first.Get());
    ComPtr<ID3D11Buffer> psConstants;
    Context()->PSGetConstantBuffers(0, 1, &psConstants);
    EXPECT_EQ(psConstants.Get(), pyramidMaterial->constantBuffer.Get());

    // The uploaded block is the object's constants, byte for byte.
    const auto bytes = BufferBytes(first.Get());
    ASSERT_EQ(bytes.size(), sizeof(ObjectConstants));
    EXPECT_EQ(std::memcmp(bytes.data(), &pyramid.constants, sizeof(ObjectConstants)), 0);
    float time = 0.0f;
    std::memcpy(&time, bytes.data() + 192, 4);
    EXPECT_EQ(time, 4.5f);

    graphics->DrawObject(pyramid, *camera, 0.0f, 0.0f, 0, 0, 0, 5.0f);
    EXPECT_NE(pyramid.constantBuffer.Get(), first.Get());
    EXPECT_EQ(DescOf(pyramid.constantBuffer.Get()).Usage, D3D11_USAGE_DYNAMIC);
    EXPECT_EQ(DescOf(pyramid.constantBuffer.Get()).CPUAccessFlags, UINT(D3D11_CPU_ACCESS_WRITE));
}

TEST_F(DrawObjectTest, OnlyTheCubeBindsATextureAndSampler)
{
    graphics->DrawObject(cube, *camera, 0, 0, 0, 0, 0, 0);
    ComPtr<ID3D11ShaderResourceView> view;
    Context()->PSGetShaderResources(0, 1, &view);
    ComPtr<ID3D11SamplerState> sampler;
    Context()->PSGetSamplers(0, 1, &sampler);
    ASSERT_TRUE(cubeMaterial->textureView);
    EXPECT_EQ(view.Get(), cubeMaterial->textureView.Get());
    EXPECT_EQ(sampler.Get(), cubeMaterial->sampler.Get());

    // A pyramid draw leaves whatever an earlier draw bound in slot 0.
    graphics->DrawObject(pyramid, *camera, 0, 0, 0, 0, 0, 0);
    ComPtr<ID3D11ShaderResourceView> viewAfter;
    Context()->PSGetShaderResources(0, 1, &viewAfter);
    ComPtr<ID3D11SamplerState> samplerAfter;
    Context()->PSGetSamplers(0, 1, &samplerAfter);
    EXPECT_EQ(viewAfter.Get(), cubeMaterial->textureView.Get());
    EXPECT_EQ(samplerAfter.Get(), cubeMaterial->sampler.Get());
}

// The order of the calls, seen through a context that only records them.
class DrawObjectOrder : public DrawObjectTest {
protected:
    void SetUp() override
    {
        realContext = graphics->context;
        // Assigned, then the creation's own reference dropped: MinGW-w64's
        // ComPtr::Attach adds a reference where Microsoft's does not.
        ID3D11DeviceContext* recording = CreateRecordingContext();
        graphics->context = recording;
        recording->Release();
        ClearRecordedCalls();
    }
    void TearDown() override { graphics->context = realContext; }

    static std::vector<ContextCall> Calls()
    {
        return std::vector<ContextCall>(RecordedCalls(), RecordedCalls() + RecordedCallCount());
    }
    static std::vector<ContextCallKind> Kinds()
    {
        std::vector<ContextCallKind> kinds;
        for (const ContextCall& call : Calls()) {
            kinds.push_back(call.kind);
        }
        return kinds;
    }

    ComPtr<ID3D11DeviceContext> realContext;
};

TEST_F(DrawObjectOrder, PyramidBindsMeshShadersBuffersAndLayoutThenDrawsWithoutTextureOrSampler)
{
    graphics->DrawObject(pyramid, *camera, 1, 2, 3, 4, 5, 6);
    EXPECT_EQ(Kinds(), (std::vector<ContextCallKind>{CallIASetVertexBuffers, CallIASetIndexBuffer, CallPSSetShader,
                                                     CallVSSetShader, CallVSSetConstantBuffers,
                                                     CallPSSetConstantBuffers, CallIASetInputLayout, CallDrawIndexed}));
    const std::vector<ContextCall> calls = Calls();
    ASSERT_EQ(calls.size(), 8u);
    EXPECT_EQ(calls[0].object, pyramid.vertexBuffer.Get());
    EXPECT_EQ(calls[0].first, 0u);    // slot
    EXPECT_EQ(calls[0].second, 20u);  // stride
    EXPECT_EQ(calls[0].third, 0u);    // offset
    EXPECT_EQ(calls[1].object, pyramid.indexBuffer.Get());
    EXPECT_EQ(calls[1].first, unsigned(DXGI_FORMAT_R16_UINT));
    EXPECT_EQ(calls[2].object, pyramidMaterial->pixelShader.Get());
    EXPECT_EQ(calls[2].first, 0u);  // no class instances
    EXPECT_EQ(calls[3].object, pyramidMaterial->vertexShader.Get());
    EXPECT_EQ(calls[4].object, pyramid.constantBuffer.Get());
    EXPECT_EQ(calls[4].first, 0u);
    EXPECT_EQ(calls[4].second, 1u);
    EXPECT_EQ(calls[5].object, pyramidMaterial->constantBuffer.Get());
    EXPECT_EQ(calls[6].object, pyramidMaterial->inputLayout.Get());
    EXPECT_EQ(calls[7].first, 18u);  // index count
    EXPECT_EQ(calls[7].second, 0u);
    EXPECT_EQ(calls[7].third, 0u);
}

TEST_F(DrawObjectOrder, CubeBindsItsTextureAndSamplerAfterTheColourTable)
{
    graphics->DrawObject(cube, *camera, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(Kinds(), (std::vector<ContextCallKind>{CallIASetVertexBuffers, CallIASetIndexBuffer, CallPSSetShader,
                                                     CallVSSetShader, CallVSSetConstantBuffers,
                                                     CallPSSetConstantBuffers, CallPSSetShaderResources,
                                                     CallPSSetSamplers, CallIASetInputLayout, CallDrawIndexed}));
    const std::vector<ContextCall> calls = Calls();
    ASSERT_EQ(calls.size(), 10u);
    EXPECT_EQ(calls[6].object, cubeMaterial->textureView.Get());
    EXPECT_EQ(calls[6].first, 0u);
    EXPECT_EQ(calls[7].object, cubeMaterial->sampler.Get());
    EXPECT_EQ(calls[9].first, 36u);
}

}  // namespace
