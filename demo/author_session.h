// The author's mode while it runs: the keys that move the music, the passage
// that repeats, the live shaders and the window's title, once before each frame.
#pragma once

#include "demo/author_folder.h"
#include "demo/author_mode.h"
#include "demo/author_tracks.h"
#include "demo/live_shaders.h"
#include "demo/shader_swap.h"
#include "demo/shader_watch.h"

#include <windows.h>
#include <d3d11.h>

#include <cstdint>
#include <string>
#include <vector>

class TrackPlayer;
class Window;
struct MeshObject;

class AuthorSession {
public:
    AuthorSession(const std::wstring& folder, DWORD stream);

    // The keys pressed since the last frame (Escape is left for the engine),
    // the passage's repeat, the shaders and the tracks saved (the tracks
    // into `player`, which the frame draws with), and the title.
    void BeforeFrame(Window& window, ID3D11Device* device, const std::vector<MeshObject*>& scene, TrackPlayer& player);

    // Sources compiled so far: a count that only grows.
    std::uint64_t ShadersCompiled() const { return shaders.Compiled(); }
    // Tracks files taken so far: a count that only grows.
    std::uint64_t TracksTaken() const { return tracks.Taken(); }

private:
    void Act(const AuthorAction& action, HWND window);

    const DWORD music;
    const double length;
    AuthorState state;
    ShaderWatch watch;
    LiveShaders shaders;
    AuthorTracks tracks;
    AuthorFolderCheck folderCheck;
    ShaderSwap swap;
    std::wstring title;
    double shown = 0.0;  // the time the title shows
};
