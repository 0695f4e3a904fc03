#include "platform/window.h"

#include "platform/window_class.h"

#include <cstdint>

namespace {

std::int32_t LowSigned16(std::uint64_t value)
{
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(value & 0xFFFF));
}

std::int32_t HighSigned16(std::uint64_t value)
{
    return LowSigned16(value >> 16);
}

std::uint8_t KeyCode(WPARAM wParam)
{
    return static_cast<std::uint8_t>(wParam & 0xFF);
}

}  // namespace

ScreenArea VirtualScreen()
{
    return {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
            GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

Window::Window(std::int32_t width, std::int32_t height) : width(width), height(height)
{
    ChangeDisplaySettingsA(nullptr, CDS_FULLSCREEN);
    ShowCursor(FALSE);

    // Read after restoring the settings, which may have rearranged the monitors. The
    // corner is the virtual screen's, not the primary monitor's: a monitor
    // left of or above the primary lies at negative coordinates.
    const ScreenArea screen = VirtualScreen();
    // The window procedure binds this object to the window during the call.
    hwnd = CreateWindowExA(0, WindowClass::kName, "Vexlar-engine", WS_POPUP | WS_VISIBLE | WS_MAXIMIZE, screen.x,
                           screen.y, screen.width, screen.height, nullptr, nullptr, WindowClass::Instance(), this);
    ShowWindow(hwnd, SW_SHOWDEFAULT);

    graphics = std::make_unique<Graphics>(hwnd);
}

Window::~Window()
{
    // The window goes first: its last messages still reach this object whole.
    DestroyWindow(hwnd);
    graphics.reset();
}

LRESULT Window::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_KILLFOCUS:
        keyboard.ClearKeys();
        break;
    case WM_CLOSE:
        // Only the quit message: the window lives until teardown.
        PostQuitMessage(0);
        return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        // Bit 30 of lParam: the key was already down (a repeat).
        keyboard.KeyDown(KeyCode(wParam), ((static_cast<std::uint64_t>(lParam) >> 30) & 1) != 0);
        break;
    case WM_KEYUP:
    case WM_SYSKEYUP:
        keyboard.KeyUp(KeyCode(wParam));
        break;
    case WM_CHAR:
        keyboard.Character(static_cast<std::uint8_t>(wParam & 0xFF));
        break;
    case WM_MOUSEMOVE:
        PointerMove(window, LowSigned16(static_cast<std::uint64_t>(lParam)),
                    HighSigned16(static_cast<std::uint64_t>(lParam)));
        break;
    case WM_LBUTTONDOWN:
        mouse.leftPressed = true;
        mouse.Queue(MouseEventKind::LeftPress);
        SetForegroundWindow(window);
        break;
    case WM_LBUTTONUP:
        mouse.leftPressed = false;
        mouse.Queue(MouseEventKind::LeftRelease);
        break;
    case WM_RBUTTONDOWN:
        mouse.rightPressed = true;
        mouse.Queue(MouseEventKind::RightPress);
        break;
    case WM_RBUTTONUP:
        mouse.rightPressed = false;
        mouse.Queue(MouseEventKind::RightRelease);
        break;
    case WM_MOUSEWHEEL: {
        // One event per message whatever the amount turned.
        const std::int32_t delta = HighSigned16(wParam);
        if (delta > 0) {
            mouse.Queue(MouseEventKind::WheelUp);
        } else if (delta < 0) {
            mouse.Queue(MouseEventKind::WheelDown);
        }
        break;
    }
    case WM_SIZE:
        // A minimised window's 0 by 0 is no size to draw at or to bound the mouse.
        if (wParam != SIZE_MINIMIZED) {
            width = LOWORD(lParam);
            height = HIWORD(lParam);
        }
        break;
    case WM_DISPLAYCHANGE:
        FollowVirtualScreen();
        break;
    case WM_DPICHANGED:
        // The suggested rectangle fits one monitor; the window stays over all.
        FollowVirtualScreen();
        return 0;
    case WM_GETMINMAXINFO: {
        // Maximised, a window takes one monitor's size unless told otherwise.
        const ScreenArea screen = VirtualScreen();
        auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
        limits->ptMaxPosition = {screen.x, screen.y};
        limits->ptMaxSize = {screen.width, screen.height};
        limits->ptMaxTrackSize = limits->ptMaxSize;
        return 0;
    }
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool Window::FollowVirtualScreen()
{
    const ScreenArea screen = VirtualScreen();
    RECT rect{};
    if (IsIconic(hwnd) || !GetWindowRect(hwnd, &rect) ||
        ScreenArea{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top} == screen) {
        return false;
    }
    // A maximised window's place is the system's (under Wine, the window
    // manager's); restored, it takes the one given.
    if (IsZoomed(hwnd)) {
        ShowWindow(hwnd, SW_RESTORE);
    }
    SetWindowPos(hwnd, nullptr, screen.x, screen.y, screen.width, screen.height,
                 SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_NOACTIVATE);
    return true;
}

void Window::PointerMove(HWND window, std::int32_t mx, std::int32_t my)
{
    const bool inside = mx >= 0 && mx < width && my >= 0 && my < height;
    if (inside) {
        mouse.RecordMove(mx, my);
        if (!mouse.inWindow) {
            SetCapture(window);
            mouse.inWindow = true;
            mouse.Queue(MouseEventKind::Enter);
        }
    } else if (mouse.leftPressed || mouse.rightPressed) {
        // Capture keeps the moves coming while a button is held, so the
        // drag is followed outside the window.
        mouse.RecordMove(mx, my);
    } else {
        ReleaseCapture();
        mouse.inWindow = false;
        mouse.Queue(MouseEventKind::Leave);
    }
}
