// What the tests that arrange monitors ask of Windows. Prints the virtual
// screen as "screen X Y WIDTH HEIGHT". With "store", first stores every
// attached display's current mode as its registry mode, as Windows holds the
// user's own layout: without one, Wine switches a monitor that the prefix met
// after it was made off when the demo restores the registry's settings. With
// "maximise", maximises the demo's window, as a user or the system may, and
// prints "zoomed" once Windows has it maximised (within five seconds), else
// "not zoomed".
// With "client", prints instead where the demo's picture is, as "client X Y
// WIDTH HEIGHT" from the virtual screen's corner (the X screen's corner).
// Usage: display_layout.exe [store | maximise | client]
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
        DEVMODEA mode{};
        mode.dmSize = sizeof(mode);
        if ((device.StateFlags & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP) != 0 &&
            EnumDisplaySettingsExA(device.DeviceName, ENUM_CURRENT_SETTINGS, &mode, 0)) {
            ChangeDisplaySettingsExA(device.DeviceName, &mode, nullptr, CDS_UPDATEREGISTRY | CDS_NORESET, nullptr);
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const char* command = argc > 1 ? argv[1] : "";
    if (std::strcmp(command, "store") == 0) {
        StoreCurrentModes();
    }
    if (std::strcmp(command, "maximise") == 0) {
        const HWND demo = FindWindowA("Vexlar Direct3D Engine Window", nullptr);
        ShowWindow(demo, SW_MAXIMIZE);
        for (int look = 0; look < 50 && IsZoomed(demo) == FALSE; ++look) {
            Sleep(100);
        }
        std::printf("%s\n", demo != nullptr && IsZoomed(demo) != FALSE ? "zoomed" : "not zoomed");
        return 0;
    }
    if (std::strcmp(command, "client") == 0) {
        const HWND demo = FindWindowA("Vexlar Direct3D Engine Window", nullptr);
        RECT client{};
        POINT corner{};
        if (demo == nullptr || !GetClientRect(demo, &client) || !ClientToScreen(demo, &corner)) {
            return 1;
        }
        std::printf("client %ld %ld %ld %ld\n", corner.x - GetSystemMetrics(SM_XVIRTUALSCREEN),
                    corner.y - GetSystemMetrics(SM_YVIRTUALSCREEN), client.right, client.bottom);
        return 0;
    }
    std::printf("screen %d %d %d %d\n", GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN));
    return 0;
}
