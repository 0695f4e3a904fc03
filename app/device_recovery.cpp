#include "app/device_recovery.h"

#include "app/engine.h"
#include "render/camera.h"

#include <windows.h>

#include <memory>
#include <utility>

void ShowDeviceFailure()
{
    MessageBoxA(nullptr, "Direct3D 11 could not be started.", "Vexlar-engine", MB_OK | MB_ICONERROR);
}

bool Engine::RecoverDevice()
{
    // The camera holds no device object. Keeping it keeps its one-frame lag
    // behind us, so the next frame is the one the lost device would have drawn.
    Camera* const keptCamera = std::exchange(camera, nullptr);
    ReleaseScene();
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
        delete keptCamera;
        return false;
    }
    BorrowDevice();
    SetUpScene();
    delete camera;
    camera = keptCamera;
    return true;
}
