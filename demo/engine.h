#pragma once

#include "demo/device_failure.h"
#include "demo/keep_awake.h"
#include "demo/present_outcome.h"
#include "demo/viewer_options.h"
#include "platform/window.h"
#include "scene/track_player.h"

#include <d3d11.h>
#include <dxgi.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class Camera;
class SceneObjects;
struct MeshObject;

// The program's presentation: straight to the swap chain.
HRESULT PresentOnSwapChain(IDXGISwapChain& swapChain, UINT syncInterval, UINT flags);

// The application: the window with its device, and the scene it draws.
class Engine {
public:
    Engine(std::int32_t width, std::int32_t height, const ViewerOptions& options = {});
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Builds the scene, starts the music and runs the message loop; returns
    // the exit code carried by the quit message.
    int Run();

    // Points `device` at the window's device without owning it.
    void BorrowDevice();

    // The scene set-up: the camera, then the scene's objects and its ten entries.
    void SetUpScene();

    // While the music's position moves and the window is shown, keeps the
    // display and the system on and refuses the screen saver; otherwise lets
    // Windows' power plan and screen saver be.
    void KeepAwakeWhilePlaying(float t);

    // Draws and presents the frame of time t (seconds); while the window is
    // hidden it only tests, at a modest rate, whether it is visible again.
    void RenderFrame(float t);
    // The frame without its presentation.
    void DrawFrame(float t);

    // Between frames: the window follows the virtual screen, and the frame
    // targets its client area.
    void FollowDisplay();
    // When the client area is no longer the frame targets' size, makes the
    // targets and the camera's projection again at the new size. A resize
    // that fails is handled as a lost device.
    void FitTargetsToWindow();

    // Releases the scene's device objects and the graphics and creates them
    // again on the same window; false, with no graphics left, when the device
    // cannot be created.
    bool RecoverDevice();

    // Whether the window and every device reference exist; without them
    // nothing can be drawn.
    bool CanRender() const;

    Window window;
    ID3D11Device* device = nullptr;  // not owning: the window's graphics holds it
    std::vector<MeshObject*> scene;  // entry 0 the cube, 1 to 9 the one pyramid object
    std::unique_ptr<Camera> camera;
    std::unique_ptr<SceneObjects> sceneObjects;  // what `scene` refers to
    // What each frame draws with besides the time: none without a tracks file.
    TrackPlayer tracks;

    // Seams for tests; the program keeps the defaults. What answers the
    // frame's presentation, how a lost device is created again, and how its
    // failure is told.
    std::function<HRESULT(IDXGISwapChain& swapChain, UINT syncInterval, UINT flags)> present = PresentOnSwapChain;
    PFN_D3D11_CREATE_DEVICE_AND_SWAP_CHAIN createDevice = D3D11CreateDeviceAndSwapChain;
    std::function<void()> reportDeviceFailure = ShowDeviceFailure;
    OcclusionPacing occlusion;
    KeepAwakeDecision awake;
    const bool loopMusic;
    // The author's mode: its folder of shader sources; none without --author.
    const std::optional<std::wstring> authorFolder;

private:
    void ActOnPresent(HRESULT result);
    // Recovers the device, or tells the user and quits with the failure's code.
    void RecoverOrQuit();
    void WaitWhileOccluded();
    // Escape pressed since the last look, or held now.
    bool EscapePressed();
    void MakeSceneObjects();
    void ReleaseSceneObjects();
};
