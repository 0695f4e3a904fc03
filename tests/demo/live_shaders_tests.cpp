#include "demo/live_shaders.h"
#include "demo/shader_swap.h"
#include "demo/shader_watch.h"
#include "render/materials.h"
#include "render/mesh_object.h"

#include <windows.h>
#include <d3d11.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <string>

namespace {

// A fresh folder of its own beside the tests.
std::wstring MakeFolder(const wchar_t* name)
{
    wchar_t full[MAX_PATH];
    GetFullPathNameW(name, MAX_PATH, full, nullptr);
    std::wstring folder = full;
    for (const wchar_t* file : {L"\\a.hlsl", L"\\b.hlsli", L"\\a.hlsl.swp", L"\\pyramid_pixel.hlsl",
                                L"\\pyramid_vertex.hlsl", L"\\object_constants.hlsli", L"\\cube_vertex.hlsl"}) {
        DeleteFileW((folder + file).c_str());
    }
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

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
    const std::wstring folder = MakeFolder(L"watch-folder");
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
    const std::wstring folder = MakeFolder(L"live-folder");
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

    Write(folder + L"\\object_constants.hlsli",
          "cbuffer ObjectConstants : register(b0) { float4x4 world; float4x4 view; };\n");
    Look(shaders, now);
    EXPECT_EQ(shaders.Compiled(), 4u);  // the vertex source that includes it; cube_vertex.hlsl is not there

    // An include locked while it is saved, the same.
    const std::wstring include = folder + L"\\object_constants.hlsli";
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
    EXPECT_EQ(shaders.Compiled(), 6u);
    EXPECT_EQ(shaders.Error().rfind("pyramid_pixel.hlsl", 0), 0u) << shaders.Error();

    // The last good shaders go into the pyramids' material, and again into
    // the scene made anew on another device (a lost device); then, on the
    // same device, only what compiled since.
    struct PlainMaterial : Material {};
    const auto makeDevice = [] {
        Microsoft::WRL::ComPtr<ID3D11Device> device;
        D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION, &device,
                          nullptr, nullptr);
        return device;
    };
    const Microsoft::WRL::ComPtr<ID3D11Device> first = makeDevice();
    const Microsoft::WRL::ComPtr<ID3D11Device> second = makeDevice();
    ASSERT_TRUE(first && second);
    PlainMaterial cube;
    PlainMaterial pyramid;
    MeshObject cubeObject;
    MeshObject pyramidObject;
    cubeObject.material = &cube;
    pyramidObject.material = &pyramid;
    ShaderSwap swap;
    const auto give = [&](ID3D11Device* device) {
        return swap.Apply(device, {&cubeObject, &pyramidObject}, shaders.Sources()).empty();
    };
    for (ID3D11Device* device : {first.Get(), second.Get()}) {
        pyramid.pixelShader.Reset();
        pyramid.vertexShader.Reset();
        pyramid.inputLayout.Reset();
        EXPECT_TRUE(give(device));
        EXPECT_TRUE(pyramid.pixelShader && pyramid.vertexShader && pyramid.inputLayout);
        EXPECT_FALSE(cube.pixelShader || cube.vertexShader);  // no cube source was saved
    }
    const auto pixelCode = [&shaders] {
        const Microsoft::WRL::ComPtr<ID3DBlob>& code = shaders.Sources()[3].code;  // pyramid_pixel.hlsl
        return std::string(static_cast<const char*>(code->GetBufferPointer()), code->GetBufferSize());
    };
    const std::string oldCode = pixelCode();
    const Microsoft::WRL::ComPtr<ID3D11PixelShader> oldPixel = pyramid.pixelShader;
    const Microsoft::WRL::ComPtr<ID3D11VertexShader> vertex = pyramid.vertexShader;
    // Another colour, so that its code differs from the last good one's.
    Write(folder + L"\\pyramid_pixel.hlsl",
          "float4 main(float4 position : SV_Position) : SV_Target\n{\n    return float4(0.0f, 1.0f, 0.0f, 1.0f);\n}\n");
    Look(shaders, now);
    EXPECT_NE(pixelCode(), oldCode);
    EXPECT_TRUE(give(second.Get()));
    // Compared by address: MinGW's ComPtr has no ==, and would compare the two as bools.
    EXPECT_TRUE(pyramid.pixelShader && pyramid.pixelShader.Get() != oldPixel.Get());
    EXPECT_EQ(pyramid.vertexShader.Get(), vertex.Get());
}

}  // namespace
