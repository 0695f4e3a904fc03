#include "app/engine.h"

#include "app/message_loop.h"
#include "app/music.h"
#include "app/scene_setup.h"
#include "render/camera.h"
#include "render/materials.h"
#include "render/mesh_object.h"

#include <wrl/client.h>

Engine::Engine(std::int32_t width, std::int32_t height) : window(width, height)
{
}

Engine::~Engine()
{
    // The scene's device objects go before the window releases the device.
    ReleaseScene();
}

bool Engine::CanRender() const
{
    const Graphics* graphics = window.graphics.get();
    return window.hwnd && graphics && graphics->device && graphics->swapChain && graphics->context &&
           graphics->renderTargetView && graphics->depthStencilView;
}

int Engine::Run()
{
    BorrowDevice();
    SetUpScene();
    const DWORD music = StartMusic();
    return RunMessageLoop([&] { RenderFrame(MusicTime(music)); });
}

void Engine::BorrowDevice()
{
    // Take a reference, keep the pointer, give the reference back: the window's
    // graphics keeps the device alive for as long as the engine draws.
    const Microsoft::WRL::ComPtr<ID3D11Device> held = window.graphics->device;
    device = held.Get();
}

void Engine::ReleaseScene()
{
    DestroySceneObjects(scene);
    delete camera;
    camera = nullptr;
}
