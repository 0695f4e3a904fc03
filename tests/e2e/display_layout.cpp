// What Windows reports of the monitors and of the demo's window, for the
// tests that arrange monitors. Prints "screen X Y WIDTH HEIGHT" (the virtual
// screen) and "window X Y WIDTH HEIGHT" (the demo's window, or "window none").
// With "store", first stores every attached display's current mode as its
// registry mode, which Windows holds for the user's own layout: without one,
// Wine switches a monitor it met after the prefix was made off when the demo
// asks for full-screen mode. Usage: display_layout.exe [store]
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

void StoreCurrentModes()
{
    for (DWORD i = 0;; ++i) {
        DISPLAY_DEVICEA device{};
        device.cb = sizeof(device);
        if (!EnumDisplayDevicesA(nullptr, i, &device, 0)) {
            return;
        }
        if ((device.StateFlags & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP) == 0) {
            continue;
        }
        DEVMODEA mode{};
        mode.dmSize = sizeof(mode);
        if (EnumDisplaySettingsExA(device.DeviceName, ENUM_CURRENT_SETTINGS, &mode, 0)) {
            ChangeDisplaySettingsExA(device.DeviceName, &mode, nullptr, CDS_UPDATEREGISTRY | CDS_NORESET, nullptr);
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "store") == 0) {
        StoreCurrentModes();
    }
    std::printf("screen %d %d %d %d\n", GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN));
    const HWND window = FindWindowA("Vexlar Direct3D Engine Window", "Vexlar-engine");
    RECT rect{};
    if (window == nullptr || !GetWindowRect(window, &rect)) {
        std::puts("window none");
        return 0;
    }
    std::printf("window %ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    return 0;
}
