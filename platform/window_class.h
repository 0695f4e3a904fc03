#pragma once

#include <windows.h>

// Registers the program's window class before the entry point runs and
// unregisters it at process exit. There is exactly one, static, instance.
class WindowClass {
public:
    static constexpr const char* kName = "Vexlar Direct3D Engine Window";

    // The program's own module, as taken at registration.
    static HINSTANCE Instance();

    WindowClass(const WindowClass&) = delete;
    WindowClass& operator=(const WindowClass&) = delete;

private:
    WindowClass();
    ~WindowClass();

    HINSTANCE instance = nullptr;

    static WindowClass registrar;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables): one per process
};
