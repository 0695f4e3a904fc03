#include "platform/window.h"

#include "platform/window_class.h"

Window::Window(std::int32_t width, std::int32_t height) : width(width), height(height)
{
    const int screenWidth = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYVIRTUALSCREEN);

    ChangeDisplaySettingsA(nullptr, CDS_FULLSCREEN);
    ShowCursor(FALSE);

    // The window procedure binds this object to the window during the call.
    hwnd = CreateWindowExA(0, WindowClass::name, "Vexlar-engine", WS_POPUP | WS_VISIBLE | WS_MAXIMIZE, 0, 0,
                           screenWidth, screenHeight, nullptr, nullptr, WindowClass::Instance(), this);
    ShowWindow(hwnd, SW_SHOWDEFAULT);

    graphics = std::make_unique<Graphics>(hwnd);
}

Window::~Window()
{
    // The window goes first: its last messages still reach this object whole.
    DestroyWindow(hwnd);
    graphics.reset();
    // The queues are freed by the members' destruction, in reverse order:
    // mouse events, then characters, then key events.
}
