#include "demo/author_tracks.h"
#include "demo/live_shaders.h"
#include "demo/shader_swap.h"
#include "demo/shader_watch.h"
#include "platform/unicode_text.h"
#include "render/materials.h"
#include "render/mesh_object.h"
#include "scene/track_player.h"
#include "scene/tracks.h"

#include <windows.h>
#include <d3d11.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <algorithm>
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

// Polls `watch` as the frames would, up to two seconds, until `names` were
// all told; gives what was told.
std::set<std::wstring> SavedSoon(ShaderWatch& watch, std::uint64_t& nowMs, const std::set<std::wstring>& names)
{
    std::set<std::wstring> told;
    for (int i = 0; i < 200 && !std::includes(told.begin(), told.end(), names.begin(), names.end()); ++i) {
        Sleep(10);
        told.merge(watch.Saved(nowMs += 10));
    }
    Sleep(50);  // and what else comes
    told.merge(watch.Saved(nowMs += 10));
    return told;
}

// A save is told by the folder's notifications, side files are not; when
// the notifications overflow, the whole folder is compared; a folder taken
// away tells its files gone, and one put in its place is watched.
TEST(ShaderWatch, TellsEverySaveOnceTheFolderTellsIt)
{
    const TemporaryFolder temporary(L"watch-folder");
    const std::wstring folder = temporary.path.wstring();
    Write(folder + L"\\a.hlsl", "one");
    std::uint64_t now = 0;
    ShaderWatch watch(folder);
    EXPECT_TRUE(watch.Saved(now).empty());  // there at the start: nothing saved

    Write(folder + L"\\a.hlsl", "one, then more");
    Write(folder + L"\\b.hlsli", "new");
    Write(folder + L"\\Tracks.txt", "track glow");
    Write(folder + L"\\a.hlsl.swp", "an editor's side file");
    EXPECT_EQ(SavedSoon(watch, now, {L"a.hlsl", L"b.hlsli", L"Tracks.txt"}),
              (std::set<std::wstring>{L"a.hlsl", L"b.hlsli", L"Tracks.txt"}));
    DeleteFileW((folder + L"\\a.hlsl").c_str());
    EXPECT_EQ(SavedSoon(watch, now, {L"a.hlsl"}), std::set<std::wstring>{L"a.hlsl"});

    // Room for a single notification: more overflow, and the folder tells them all.
    ShaderWatch small(folder, 64);
    std::set<std::wstring> many;
    for (int i = 0; i < 40; ++i) {
        const std::wstring name = L"many-" + std::to_wstring(i) + L".hlsli";
        many.insert(name);
        Write(folder + L"\\" + name, "x");
    }
    const std::set<std::wstring> told = SavedSoon(small, now, many);
    EXPECT_TRUE(std::includes(told.begin(), told.end(), many.begin(), many.end())) << told.size();

    // Moved away: its files count as taken away; another put in its place is watched.
    const std::wstring moved = folder + L"-moved";
    ASSERT_TRUE(MoveFileW(folder.c_str(), moved.c_str()));
    std::filesystem::create_directories(temporary.path);
    Write(folder + L"\\c.hlsl", "in the new folder");
    now += 1000;
    const std::set<std::wstring> replaced = SavedSoon(watch, now, {L"b.hlsli", L"c.hlsl"});
    EXPECT_TRUE(replaced.contains(L"b.hlsli") && replaced.contains(L"c.hlsl"));
    Write(folder + L"\\c.hlsl", "saved there");
    Write(moved + L"\\b.hlsli", "saved in the folder moved away");
    EXPECT_EQ(SavedSoon(watch, now, {L"c.hlsl"}), std::set<std::wstring>{L"c.hlsl"});
    std::error_code ignored;
    std::filesystem::remove_all(moved, ignored);
}

constexpr const char* kGoodVertex =
    "#include \"object_constants.hlsli\"\n"
    "float4 main(float3 p : Position) : SV_Position { return mul(float4(p, 1.0f), world); }\n";
constexpr const char* kGoodPixel =
    "float4 main(float4 position : SV_Position) : SV_Target\n{\n    return float4(1.0f, 0.0f, 1.0f, 1.0f);\n}\n";

// The author's folder watched and compiled from, as the frames do.
struct Watched {
    explicit Watched(const std::wstring& folder) : watch(folder), shaders(folder) {}
    ShaderWatch watch;
    LiveShaders shaders;
    std::uint64_t now = 0;
};

// Polls as the frames would: first until a save is told (up to two
// seconds), unless none is awaited; then twenty more times as `spanMs` of
// the program's time passes. Gives every error the title would have shown.
std::set<std::string> Look(Watched& watched, std::uint64_t spanMs = 1200, bool awaitSave = true)
{
    std::set<std::string> shown;
    const auto poll = [&](std::uint64_t stepMs) {
        Sleep(10);
        const std::set<std::wstring> saved = watched.watch.Saved(watched.now += stepMs);
        watched.shaders.Poll(watched.now, saved);
        shown.insert(watched.shaders.Error());
        return !saved.empty();
    };
    for (int i = 0; awaitSave && i < 200 && !poll(1); ++i) {
    }
    for (int i = 0; i < 20; ++i) {
        poll(spanMs / 20);
    }
    return shown;
}

// A file locked while it is saved is tried again once it can be read, with
// no error meanwhile, and told once it has been locked for a second.
void ExpectTakenOnceUnlocked(Watched& watched, const std::wstring& path, const std::string& told)
{
    const std::uint64_t before = watched.shaders.Compiled();
    const HANDLE locked = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Look(watched, 900), std::set<std::string>{""});
    EXPECT_EQ(watched.shaders.Compiled(), before);
    Look(watched, 200, false);
    EXPECT_EQ(watched.shaders.Error(), told);
    CloseHandle(locked);
    Look(watched, 200, false);
    EXPECT_EQ(watched.shaders.Error(), "");
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
    Watched watched(folder);
    LiveShaders& shaders = watched.shaders;
    Look(watched, 1200, false);
    EXPECT_EQ(shaders.Compiled(), 0u);  // nothing saved yet

    Write(folder + L"\\pyramid_pixel.hlsl", kGoodPixel);
    Look(watched);
    ASSERT_EQ(shaders.Compiled(), 1u);
    EXPECT_EQ(shaders.Error(), "");

    Write(folder + L"\\pyramid_pixel.hlsl", std::string(kGoodPixel) + "\n");
    ExpectTakenOnceUnlocked(watched, folder + L"\\pyramid_pixel.hlsl",
                            "pyramid_pixel.hlsl: still locked after a second");
    EXPECT_EQ(shaders.Compiled(), 2u);

    Write(folder + L"\\pyramid_pixel.hlsl", "float4 main() : SV_Target\n{\n    return undefinedColour;\n}\n");
    Look(watched);
    EXPECT_EQ(shaders.Compiled(), 2u);
    const std::string error = shaders.Error();
    EXPECT_EQ(error.rfind("pyramid_pixel.hlsl", 0), 0u) << error;
    EXPECT_NE(error.find('3'), std::string::npos) << error;  // its line
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;

    Write(folder + L"\\pyramid_pixel.hlsl", kGoodPixel);
    Look(watched);
    EXPECT_EQ(shaders.Compiled(), 3u);
    EXPECT_EQ(shaders.Error(), "");

    const std::wstring include = folder + L"\\object_constants.hlsli";
    Write(include, "cbuffer ObjectConstants : register(b0) { float4x4 world; float4x4 view; };\n");
    Look(watched);
    EXPECT_EQ(shaders.Compiled(), 4u);  // the pyramids' pair; the cube's sources are not there

    // An include locked while it is saved, the same.
    Write(include, "cbuffer ObjectConstants : register(b0) { float4x4 world; };\n");
    ExpectTakenOnceUnlocked(watched, include,
                            "pyramid_vertex.hlsl: #include \"object_constants.hlsli\": still locked after a second");
    EXPECT_EQ(shaders.Compiled(), 5u);

    // Two broken: the newest failure is told; that one mended, the one still standing.
    Write(folder + L"\\pyramid_pixel.hlsl", "float4 main() : SV_Target\n{\n    return undefinedColour;\n}\n");
    Look(watched);
    Write(folder + L"\\pyramid_vertex.hlsl", "float4 main() : SV_Position\n{\n    return missingPosition;\n}\n");
    Look(watched);
    EXPECT_EQ(shaders.Error().rfind("pyramid_vertex.hlsl", 0), 0u) << shaders.Error();
    Write(folder + L"\\pyramid_vertex.hlsl", kGoodVertex);
    Look(watched);
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
    Look(watched);
    EXPECT_EQ(shaders.Compiled(), 6u);
    Write(include, "cbuffer ObjectConstants : register(b0) { float4x4 world; float4 tint; float4 more; };\n");
    ExpectTakenOnceUnlocked(watched, folder + L"\\middle.hlsli",
                            "pyramid_vertex.hlsl: #include \"middle.hlsli\": still locked after a second");
    EXPECT_EQ(shaders.Compiled(), 7u);

    // A saved include with which the vertex source compiles and the pixel
    // source does not: neither changes.
    const LiveMaterial& pyramids = shaders.Materials()[1];
    const ID3DBlob* const vertexCode = pyramids.vertexCode.Get();
    Write(include, "cbuffer ObjectConstants : register(b0) { float4x4 world; };\n");
    Look(watched);
    EXPECT_EQ(pyramids.vertexCode.Get(), vertexCode);
    EXPECT_EQ(shaders.Compiled(), 7u);
    EXPECT_NE(shaders.Error().find("tint"), std::string::npos) << shaders.Error();
    Write(folder + L"\\pyramid_pixel.hlsl", kGoodPixel);
    Look(watched);
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

// An editor's save in two steps (emptied then written, or written aside
// then renamed over the source) shows no passing error; a source or an
// include that cannot be read is told with why; an include by full path is
// read from there, as the build reads it.
TEST(LiveShaders, SavesInTwoStepsPassQuietlyAndUnreadableFilesAreTold)
{
    const TemporaryFolder temporary(L"two-steps");
    const TemporaryFolder elsewhere(L"elsewhere");
    const std::wstring folder = temporary.path.wstring();
    Write(folder + L"\\pyramid_vertex.hlsl",
          "float4 main(float3 p : Position) : SV_Position { return float4(p, 1.0f); }\n");
    Write(folder + L"\\pyramid_pixel.hlsl", kGoodPixel);
    Watched watched(folder);
    LiveShaders& shaders = watched.shaders;
    const std::wstring pixel = folder + L"\\pyramid_pixel.hlsl";

    Write(pixel, "");
    std::set<std::string> shown = Look(watched, 100);
    Write(pixel, std::string(kGoodPixel) + "\n");
    shown.merge(Look(watched));
    EXPECT_EQ(shown, std::set<std::string>{""});
    EXPECT_EQ(shaders.Compiled(), 1u);

    Write(pixel + L".tmp", kGoodPixel);
    ASSERT_TRUE(MoveFileExW((pixel + L".tmp").c_str(), pixel.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(Look(watched), std::set<std::string>{""});
    EXPECT_EQ(shaders.Compiled(), 2u);

    const std::wstring absolute = elsewhere.path.wstring() + L"\\colour.hlsli";
    Write(absolute, "static const float4 colour = float4(0.0f, 1.0f, 0.0f, 1.0f);\n");
    Write(pixel, "#include \"" + Utf8FromUtf16(absolute).value_or("") +
                     "\"\nfloat4 main() : SV_Target\n{\n    return colour;\n}\n");
    Look(watched);
    EXPECT_EQ(shaders.Error(), "");
    EXPECT_EQ(shaders.Compiled(), 3u);
    // Joined as the build's compiler joins them.
    EXPECT_EQ(IncludePath(L"C:\\work\\shaders", "a/b.hlsli"), L"C:\\work\\shaders\\a/b.hlsli");
    EXPECT_EQ(IncludePath(L"C:\\work\\shaders\\", "b.hlsli"), L"C:\\work\\shaders\\b.hlsli");
    EXPECT_EQ(IncludePath(L"C:\\work\\shaders", "\\common\\b.hlsli"), L"C:\\common\\b.hlsli");
    EXPECT_EQ(IncludePath(L"C:\\work\\shaders", "D:\\b.hlsli"), L"D:\\b.hlsli");
    EXPECT_EQ(IncludePath(L"C:\\work", "\\\\server\\share\\b.hlsli"), L"\\\\server\\share\\b.hlsli");

    Write(pixel, "#include \"a|b.hlsli\"\nfloat4 main() : SV_Target { return 0; }\n");
    Look(watched);
    EXPECT_EQ(shaders.Error(), "pyramid_pixel.hlsl: #include \"a|b.hlsli\": not a valid file name");
    Write(pixel, std::string(kGoodPixel) + std::string(4u << 20, ' '));
    Look(watched);
    EXPECT_EQ(shaders.Error(), "pyramid_pixel.hlsl: over 4 MiB (4194406 bytes): not a shader source");
    DeleteFileW(pixel.c_str());
    ASSERT_TRUE(CreateDirectoryW(pixel.c_str(), nullptr));
    Look(watched);
    EXPECT_EQ(shaders.Error(), "pyramid_pixel.hlsl: a folder, not a file");
    EXPECT_EQ(shaders.Compiled(), 3u);
}

// The folder's tracks at the start, not the run folder's; a save that reads
// well is in force at once; a refusal keeps the tracks in force and is told
// once the file stood still, as a file taken away puts none back then.
TEST(AuthorTracks, ReadsEverySaveAndKeepsTheLastGoodTracks)
{
    const TemporaryFolder temporary(L"tracks-folder");
    const std::wstring file = temporary.path.wstring() + L"\\tracks.txt";
    Write(file, "track camera.x\n0 15\ntrack glow\n0 1\n");
    TrackPlayer player;
    player.Use(ReadTracks("track a\n0 1\ntrack b\n0 1\ntrack c\n0 1\n", "tracks.txt").tracks.value());
    AuthorTracks tracks(temporary.path.wstring());
    tracks.Poll(0, {}, player);
    EXPECT_EQ(player.Count(), 2u);

    const std::set<std::wstring> saved{L"tracks.txt"};
    Write(file, "track camera.x\n6 1\n4.5 2\n");
    tracks.Poll(10, saved, player);
    EXPECT_EQ(tracks.Error(), "");  // perhaps the first step of a save
    Write(file, "track camera.x\n0 1\n");
    tracks.Poll(20, saved, player);
    tracks.Poll(1000, {}, player);
    EXPECT_EQ(player.Count(), 1u);
    EXPECT_EQ(tracks.Error(), "");

    Write(file, "track camera.x\n6 1\n4.5 2\n");
    tracks.Poll(1010, saved, player);
    tracks.Poll(1100, {}, player);
    EXPECT_EQ(tracks.Error(), "");
    tracks.Poll(1300, {}, player);
    EXPECT_EQ(tracks.Error(), Utf8FromUtf16(file).value_or("") + ":3: the keys' times must increase: 4.5 after 6");
    EXPECT_EQ(player.Count(), 1u);

    DeleteFileW(file.c_str());
    tracks.Poll(1400, saved, player);
    EXPECT_EQ(player.Count(), 1u);
    tracks.Poll(1700, {}, player);
    EXPECT_EQ(player.Count(), 0u);
    EXPECT_EQ(tracks.Error(), "");
}

}  // namespace
