#include "tests/render/test_window.h"

namespace {
constexpr char kClassName[] = "Vexlar render test window";
}

TestWindow::TestWindow()
{
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kClassName;
    RegisterClassExA(&windowClass);  // fails harmlessly when already registered
    hwnd = CreateWindowExA(0, kClassName, "test", WS_POPUP | WS_VISIBLE, 0, 0, GetSystemMetrics(SM_CXVIRTUALSCREEN),
                           GetSystemMetrics(SM_CYVIRTUALSCREEN), nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

TestWindow::~TestWindow()
{
    DestroyWindow(hwnd);
}
