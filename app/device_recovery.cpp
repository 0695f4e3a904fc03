#include "app/device_recovery.h"

#include "app/engine.h"
#include "app/scene_setup.h"

#include <windows.h>

#include <memory>

void ShowDeviceFailure()
{
    MessageBoxA(nullptr, "Direct3D 11 could not be started.", "Vexlar-engine", MB_OK | MB_ICONERROR);
}

bool Engine::RecoverDevice()
{
    // The camera holds no device object and stays: its one-frame lag goes on,
    // so the next frame is the one the lost device would have drawn.
    DestroySceneObjects(scene);
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
        ReleaseScene();  // the camera too: nothing is left to draw with
        return false;
    }
    BorrowDevice();
    scene = CreateSceneObjects(device);
    return true;
}
