#include "demo/device_failure.h"

#include <windows.h>

void ShowDeviceFailure()
{
    MessageBoxA(
        nullptr,
        "Direct3D 11 could not be started.\n\nVexlar needs a graphics card (and its driver) with Direct3D feature "
        "level 11_0 or higher.",
        "Vexlar-engine", MB_OK | MB_ICONERROR);
}
