#include "demo/live_shaders.h"
#include "demo/shader_swap.h"
#include "demo/shader_watch.h"
#include "render/materials.h"
#include "render/mesh_object.h"

#include <windows.h>
#include <d3d11.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

// A fresh folder of its own in the temporary folder, gone with the test.
class TemporaryFolder {
public:
    explicit TemporaryFolder(const wchar_t* name)
        : path(std::filesystem::temp_directory_path() / (name + std::to_wstring(GetCurrentProcessId())))
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
        std::filesystem::create_directories(path);
    }
    ~TemporaryFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path path;
};

void Write(const std::wstring& path, const std::string& text)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

// A file counts as saved once it held still over one look; side files are
// no shaders; a file taken away and written again counts again.
TEST(ShaderWatch, TakesAFileOnceItHoldsStill)
{
    const TemporaryFolder temporary(L"watch-folder");
    const std::wstring folder = temporary.path.wstring();
    Write(folder + L"\\a.hlsl", "one");
    ShaderWatch watch(folder);
    EXPECT_TRUE(watch.Saved().empty());  // there at the start: nothing saved

    Write(folder + L"\\a.hlsl", "one, then more");
    Write(folder + L"\\b.hlsli", "new");
    Write(folder + L"\\a.hlsl.swp", "an editor's side file");
    EXPECT_TRUE(watch.Saved().empty());  // changed: not yet still
    Write(folder + L"\\b.hlsli", "new, still being written");
    EXPECT_EQ(watch.Saved(), (std::set<std::wstring>{L"a.hlsl"}));
    EXPECT_EQ(watch.Saved(), (std::set<std::wstring>{L"b.hlsli"}));
    EXPECT_TRUE(watch.Saved().empty());

    DeleteFileW((folder + L"\\a.hlsl").c_str());
    EXPECT_TRUE(watch.Saved().empty());
    Write(folder + L"\\a.hlsl", "back");
    watch.Saved();
    EXPECT_EQ(watch.Saved(), (std::set<std::wstring>{L"a.hlsl"}));
}

constexpr const char* kGoodVertex =
    "#include \"object_constants.hlsli\"\n"
    "float4 main(float3 p : Position) : SV_Position { return mul(float4(p, 1.0f), world); }\n";
constexpr const char* kGoodPixel =
    "float4 main(float4 position : SV_Position) : SV_Target\n{\n    return float4(1.0f, 0.0f, 1.0f, 1.0f);\n}\n";

// Looks until nothing is left to compile (three looks: changed, still, compiled).
void Look(LiveShaders& shaders, std::uint64_t& nowMs)
{
    for (int i = 0; i < 3; ++i) {
        nowMs += 100;
        shaders.Poll(nowMs);
    }
}

// A file locked while it is saved is tried again once it can be read, with no
// error meanwhile.
void ExpectTakenOnceUnlocked(LiveShaders& shaders, std::uint64_t& nowMs, const std::wstring& path)
{
    const std::uint64_t before = shaders.Compiled();
    const HANDLE locked = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    Look(shaders, nowMs);
    EXPECT_EQ(shaders.Compiled(), before);
    EXPECT_EQ(shaders.Error(), "");
    CloseHandle(locked);
    Look(shaders, nowMs);
}

// With the system's compiler: a saved source compiles; a locked one is tried
// again once it can be read, with no error meanwhile; a broken one tells the
// compiler's first message (file and line) until it is mended; a saved
// include compiles the sources that include it.
TEST(LiveShaders, CompilesWhatIsSavedAndTellsWhatFails)
{
    const TemporaryFolder temporary(L"live-folder");
    const std::wstring folder = temporary.path.wstring();
    Write(folder + L"\\object_constants.hlsli", "cbuffer ObjectConstants : register(b0) { float4x4 world; };\n");
    Write(folder + L"\\pyramid_vertex.hlsl", kGoodVertex);
    std::uint64_t now = 0;
    LiveShaders shaders(folder);
    Look(shaders, now);
    EXPECT_EQ(shaders.Compiled(), 0u);  // nothing saved yet

    Write(folder + L"\\pyramid_pixel.hlsl", kGoodPixel);
    Look(shaders, now);
    ASSERT_EQ(shaders.Compiled(), 1u);
    EXPECT_EQ(shaders.Error(), "");

    Write(folder + L"\\pyramid_pixel.hlsl", std::string(kGoodPixel) + "\n");
    ExpectTakenOnceUnlocked(shaders, now, folder + L"\\pyramid_pixel.hlsl");
    EXPECT_EQ(shaders.Compiled(), 2u);

    Write(folder + L"\\pyramid_pixel.hlsl", "float4 main() : SV_Target\n{\n    return undefinedColour;\n}\n");
    Look(shaders, now);
    EXPECT_EQ(shaders.Compiled(), 2u);
    const std::string error = shaders.Error();
    EXPECT_EQ(error.rfind("pyramid_pixel.hlsl", 0), 0u) << error;
    EXPECT_NE(error.find('3'), std::string::npos) << error;  // its line
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;

    Write(folder + L"\\pyramid_pixel.hlsl", kGoodPixel);
    Look(shaders, now);
    EXPECT_EQ(shaders.Compiled(), 3u);
    EXPECT_EQ(shaders.Error(), "");

    const std::wstring include = folder + L"\\object_constants.hlsli";
    Write(include, "cbuffer ObjectConstants : register(b0) { float4x4 world; float4x4 view; };\n");
    Look(shaders, now);
    EXPECT_EQ(shaders.Compiled(), 4u);  // the pyramids' pair; the cube's sources are not there

    // An include locked while it is saved, the same.
    Write(include, "cbuffer ObjectConstants : register(b0) { float4x4 world; };\n");
    ExpectTakenOnceUnlocked(shaders, now, include);
    EXPECT_EQ(shaders.Compiled(), 5u);

    // Two broken: the newest failure is told; that one mended, the one still standing.
    Write(folder + L"\\pyramid_pixel.hlsl", "float4 main() : SV_Target\n{\n    return undefinedColour;\n}\n");
    Look(shaders, now);
    Write(folder + L"\\pyramid_vertex.hlsl", "float4 main() : SV_Position\n{\n    return missingPosition;\n}\n");
    Look(shaders, now);
    EXPECT_EQ(shaders.Error().rfind("pyramid_vertex.hlsl", 0), 0u) << shaders.Error();
    Write(folder + L"\\pyramid_vertex.hlsl", kGoodVertex);
    Look(shaders, now);
    EXPECT_EQ(shaders.Compiled(), 5u);  // no pair while the pixel source fails
    EXPECT_EQ(shaders.Error().rfind("pyramid_pixel.hlsl", 0), 0u) << shaders.Error();

    // An include between the source and the saved one, locked while the
    // folder is read, is read again once it can be.
    Write(folder + L"\\middle.hlsli", "#include \"object_constants.hlsli\"\n");
    Write(folder + L"\\pyramid_vertex.hlsl", "#include \"middle.hlsli\"\n"
                                             "float4 main(float3 p : Position) : SV_Position { return world[0]; }\n");
    Write(folder + L"\\pyramid_pixel.hlsl",
          "#include \"object_constants.hlsli\"\nfloat4 main() : SV_Target\n{\n    return tint;\n}\n");
    Write(include, "cbuffer ObjectConstants : register(b0) { float4x4 world; float4 tint; };\n");
    Look(shaders, now);
    EXPECT_EQ(shaders.Compiled(), 6u);
    Write(include, "cbuffer ObjectConstants : register(b0) { float4x4 world; float4 tint; float4 more; };\n");
    ExpectTakenOnceUnlocked(shaders, now, folder + L"\\middle.hlsli");
    EXPECT_EQ(shaders.Compiled(), 7u);

    // A saved include with which the vertex source compiles and the pixel
    // source does not: neither changes.
    const LiveMaterial& pyramids = shaders.Materials()[1];
    const ID3DBlob* const vertexCode = pyramids.vertexCode.Get();
    Write(include, "cbuffer ObjectConstants : register(b0) { float4x4 world; };\n");
    Look(shaders, now);
    EXPECT_EQ(pyramids.vertexCode.Get(), vertexCode);
    EXPECT_EQ(shaders.Compiled(), 7u);
    EXPECT_NE(shaders.Error().find("tint"), std::string::npos) << shaders.Error();
    Write(folder + L"\\pyramid_pixel.hlsl", kGoodPixel);
    Look(shaders, now);
    EXPECT_EQ(shaders.Compiled(), 8u);

    // The last good pair goes into the pyramids' material, and again into the
    // scene made anew on a device made anew once the scene and the device
    // before are gone (Wine gives the third device the second's address);
    // then, on the same device, only a pair compiled since.
    struct PlainMaterial : Material {};
    PlainMaterial cube;
    PlainMaterial pyramid;
    MeshObject cubeObject;
    MeshObject pyramidObject;
    cubeObject.material = &cube;
    pyramidObject.material = &pyramid;
    ShaderSwap swap;
    Microsoft::WRL::ComPtr<ID3D11Device> device;
    const auto give = [&](const std::array<LiveMaterial, kLiveMaterialCount>& materials) {
        for (const ShaderHandOver& handed : swap.Apply(device.Get(), {&cubeObject, &pyramidObject}, materials)) {
            shaders.Given(handed.material, handed.problem);
        }
    };
    for (int made = 0; made < 3; ++made) {
        pyramid.pixelShader.Reset();
        pyramid.vertexShader.Reset();
        pyramid.inputLayout.Reset();
        device.Reset();
        D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION, &device,
                          nullptr, nullptr);
        ASSERT_TRUE(device);
        give(shaders.Materials());
        EXPECT_TRUE(pyramid.pixelShader && pyramid.vertexShader && pyramid.inputLayout);
        EXPECT_FALSE(cube.pixelShader || cube.vertexShader);  // no cube source was saved
    }
    const Microsoft::WRL::ComPtr<ID3D11PixelShader> pixel = pyramid.pixelShader;
    give(shaders.Materials());
    EXPECT_EQ(pyramid.pixelShader.Get(), pixel.Get());

    // A pair the device does not take (vertex code as the pixel shader's)
    // leaves the last one drawing, told until the device takes a pair.
    std::array<LiveMaterial, kLiveMaterialCount> refused = shaders.Materials();
    refused[1].pixelCode = refused[1].vertexCode;
    ++refused[1].version;
    const ID3D11VertexShader* const vertex = pyramid.vertexShader.Get();
    give(refused);
    EXPECT_EQ(pyramid.vertexShader.Get(), vertex);
    EXPECT_EQ(shaders.Error(), "pyramid_pixel.hlsl: the device does not take the compiled shader");
    give(shaders.Materials());
    EXPECT_EQ(shaders.Error(), "");
}

}  // namespace
