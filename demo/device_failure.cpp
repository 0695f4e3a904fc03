#include "demo/device_failure.h"

#include <windows.h>

void ShowDeviceFailure()
{
    MessageBoxA(nullptr, "Direct3D 11 could not be started.", "Vexlar-engine", MB_OK | MB_ICONERROR);
}
