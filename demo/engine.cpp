#include "demo/engine.h"

#include "demo/author_session.h"
#include "demo/message_loop.h"
#include "render/camera.h"
#include "scene/draw_scene_frame.h"
#include "scene/music.h"
#include "scene/scene_objects.h"

#include <wrl/client.h>

HRESULT PresentOnSwapChain(IDXGISwapChain& swapChain, UINT syncInterval, UINT flags)
{
    return swapChain.Present(syncInterval, flags);
}

Engine::Engine(std::int32_t width, std::int32_t height, const ViewerOptions& options)
    : window(width, height, options.placement), loopMusic(options.loop),
      authorFolder(options.author ? std::optional<std::wstring>(options.authorFolder) : std::nullopt)
{
}

// The members go in reverse: the scene's objects and the camera before the
// window releases the device.
Engine::~Engine() = default;

int Engine::Run()
{
    BorrowDevice();
    SetUpScene();
    const DWORD music = StartMusic(loopMusic);
    // Without --author nothing of it exists: no folder watched, no compiler loaded.
    std::optional<AuthorSession> author;
    if (authorFolder) {
        author.emplace(*authorFolder, music);
    }
    // What the thread asked of the power plan ends with the process.
    const int exitCode = RunMessageLoop([&] {
        if (author && window.graphics) {
            author->BeforeFrame(window, device, scene, tracks);
        }
        const float t = MusicTime(music);
        KeepAwakeWhilePlaying(t);
        RenderFrame(t);
    });
    author.reset();
    EndMusic();
    return exitCode;
}

void Engine::BorrowDevice()
{
    // Take a reference, keep the pointer, give the reference back: the window's
    // graphics keeps the device alive for as long as the engine draws.
    const Microsoft::WRL::ComPtr<ID3D11Device> held = window.graphics->device;
    device = held.Get();
}

void Engine::SetUpScene()
{
    // The projection's aspect is the back buffer's, whatever the window's.
    camera = std::make_unique<Camera>(window.graphics->width, window.graphics->height, this);
    MakeSceneObjects();
}

void Engine::KeepAwakeWhilePlaying(float t)
{
    const bool shown = IsWindowVisible(window.hwnd) && !IsIconic(window.hwnd) && !occlusion.occluded;
    const bool keep = awake.Update(t, shown, GetTickCount64());
    if (keep == window.keepAwake) {
        return;
    }
    window.keepAwake = keep;
    // Continuous: the request holds until it is changed, not just for a moment.
    SetThreadExecutionState(keep ? ES_CONTINUOUS | ES_DISPLAY_REQUIRED | ES_SYSTEM_REQUIRED : ES_CONTINUOUS);
}

void Engine::RenderFrame(float t)
{
    // No graphics is left only after a failed recovery, whose quit is queued.
    if (!window.graphics) {
        return;
    }
    if (occlusion.occluded) {
        WaitWhileOccluded();
        return;
    }
    FollowDisplay();
    if (!window.graphics) {
        return;
    }
    DrawFrame(t);
    ActOnPresent(present(*window.graphics->swapChain.Get(), 1, 0));
}

void Engine::FollowDisplay()
{
    window.FollowScreenArea();
    FitTargetsToWindow();
}

void Engine::FitTargetsToWindow()
{
    const Graphics& graphics = *window.graphics;
    const bool sameSize = static_cast<std::uint32_t>(window.width) == graphics.width &&
                          static_cast<std::uint32_t>(window.height) == graphics.height;
    if (sameSize || window.width <= 0 || window.height <= 0) {
        return;
    }
    if (!window.graphics->ResizeToWindow()) {
        RecoverOrQuit();
        return;
    }
    camera->Resize(window.graphics->width, window.graphics->height);
}

void Engine::DrawFrame(float t)
{
    // Escape ends the program, but this frame is still drawn and presented.
    if (EscapePressed()) {
        PostQuitMessage(0);
    }
    DrawSceneFrame(*window.graphics, *camera, scene, t, tracks.ValuesAt(t));
}

void Engine::ActOnPresent(HRESULT result)
{
    switch (ClassifyPresent(result)) {
    case PresentOutcome::Shown:
        occlusion.Visible();
        break;
    case PresentOutcome::Occluded:
        occlusion.Occluded(GetTickCount64());
        break;
    case PresentOutcome::DeviceLost:
        // The music plays on meanwhile: the next frame is drawn at its time.
        occlusion.Visible();
        RecoverOrQuit();
        break;
    }
}

void Engine::RecoverOrQuit()
{
    if (!RecoverDevice()) {
        reportDeviceFailure();
        PostQuitMessage(kDeviceFailureExitCode);
    }
}

void Engine::WaitWhileOccluded()
{
    // No frame runs to see Escape while the window is hidden.
    if (EscapePressed()) {
        PostQuitMessage(0);
        return;
    }
    const std::uint64_t now = GetTickCount64();
    if (!occlusion.TestDue(now)) {
        // Any window message ends the wait, so a quit is handled at once.
        MsgWaitForMultipleObjectsEx(0, nullptr, occlusion.WaitMs(now), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        return;
    }
    ActOnPresent(present(*window.graphics->swapChain.Get(), 0, DXGI_PRESENT_TEST));
}

bool Engine::EscapePressed()
{
    // Pressed and released within one drain of the queue (a tap, a remote
    // desktop, a slow frame), the key's bit is clear again; its press is queued.
    const bool tapped = window.keyboard.TakeKeyPress(VK_ESCAPE);
    return tapped || window.keyboard.keyStates.test(VK_ESCAPE);
}

bool Engine::RecoverDevice()
{
    // The camera holds no device object and stays: its one-frame lag goes on,
    // so the next frame is the one the lost device would have drawn.
    ReleaseSceneObjects();
    device = nullptr;
    if (window.graphics && window.graphics->context) {
        // Views still bound to the context would keep the old swap chain alive,
        // and the window takes a new one only once the old one has gone.
        window.graphics->context->ClearState();
        window.graphics->context->Flush();
    }
    window.graphics.reset();
    window.graphics = std::make_unique<Graphics>(window.hwnd, createDevice);
    if (!CanRender()) {
        window.graphics.reset();
        camera.reset();  // nothing is left to draw with
        return false;
    }
    BorrowDevice();
    MakeSceneObjects();
    // The new swap chain took the client area's size, which may be another.
    if (camera) {
        camera->Resize(window.graphics->width, window.graphics->height);
    }
    return true;
}

void Engine::MakeSceneObjects()
{
    sceneObjects = std::make_unique<SceneObjects>(device);
    scene = sceneObjects->Entries();
}

void Engine::ReleaseSceneObjects()
{
    scene.clear();
    sceneObjects.reset();
}

bool Engine::CanRender() const
{
    const Graphics* graphics = window.graphics.get();
    return window.hwnd && graphics && graphics->device && graphics->swapChain && graphics->context &&
           graphics->renderTargetView && graphics->depthStencilView;
}
