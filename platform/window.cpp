#include "platform/window.h"

#include "platform/window_class.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

// An ordinary window's client area unless the viewer gives one.
constexpr std::int32_t kDefaultClientWidth = 1280;
constexpr std::int32_t kDefaultClientHeight = 720;
constexpr DWORD kWindowedStyle = WS_OVERLAPPEDWINDOW | WS_VISIBLE;
constexpr DWORD kBorderlessStyle = WS_POPUP | WS_VISIBLE | WS_MAXIMIZE;

ScreenArea AreaOf(const RECT& rect)
{
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM monitors)
{
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (GetMonitorInfoA(monitor, &info)) {
        auto& list = *reinterpret_cast<std::vector<ScreenArea>*>(monitors);
        // The primary goes first; the others keep the order they come in.
        const ScreenArea area = AreaOf(info.rcMonitor);
        if ((info.dwFlags & MONITORINFOF_PRIMARY) != 0) {
            list.insert(list.begin(), area);
        } else {
            list.push_back(area);
        }
    }
    return TRUE;
}

// The outer rectangle of an ordinary window whose client area is the one
// asked for, centred on the primary monitor's work area. The default size
// that does not fit there becomes a quarter of the screen.
ScreenArea WindowedFrame(const WindowPlacement& placement)
{
    RECT work{};
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0)) {
        work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    }
    const bool chosen = placement.clientWidth > 0 && placement.clientHeight > 0;
    RECT frame{0, 0, chosen ? static_cast<LONG>(placement.clientWidth) : kDefaultClientWidth,
               chosen ? static_cast<LONG>(placement.clientHeight) : kDefaultClientHeight};
    AdjustWindowRectEx(&frame, kWindowedStyle, FALSE, 0);
    if (!chosen &&
        (frame.right - frame.left > work.right - work.left || frame.bottom - frame.top > work.bottom - work.top)) {
        frame = {0, 0, GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2};
        AdjustWindowRectEx(&frame, kWindowedStyle, FALSE, 0);
    }
    const std::int32_t frameWidth = frame.right - frame.left;
    const std::int32_t frameHeight = frame.bottom - frame.top;
    // A window larger than the work area keeps its title bar on screen.
    const std::int32_t x = work.left + std::max<std::int32_t>(0, (work.right - work.left - frameWidth) / 2);
    const std::int32_t y = work.top + std::max<std::int32_t>(0, (work.bottom - work.top - frameHeight) / 2);
    return {x, y, frameWidth, frameHeight};
}

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

ScreenArea MonitorArea(std::uint32_t number)
{
    std::vector<ScreenArea> monitors;
    EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
    if (monitors.empty()) {
        return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    }
    return number >= 1 && number <= monitors.size() ? monitors[number - 1] : monitors.front();
}

Window::Window(std::int32_t width, std::int32_t height, const WindowPlacement& placement)
    : width(width), height(height), placement(placement)
{
    const bool windowed = placement.mode == WindowMode::Windowed;
    if (!windowed) {
        ChangeDisplaySettingsA(nullptr, CDS_FULLSCREEN);
        ShowCursor(FALSE);
    }

    // Read after restoring the settings, which may have rearranged the monitors. The
    // corner is the virtual screen's, not the primary monitor's: a monitor
    // left of or above the primary lies at negative coordinates.
    const ScreenArea area = windowed ? WindowedFrame(placement) : CoveredArea();
    // The window procedure binds this object to the window during the call.
    hwnd = CreateWindowExA(0, WindowClass::kName, "Vexlar-engine", windowed ? kWindowedStyle : kBorderlessStyle, area.x,
                           area.y, area.width, area.height, nullptr, nullptr, WindowClass::Instance(), this);
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
        FollowScreenArea();
        break;
    case WM_DPICHANGED:
        if (placement.mode == WindowMode::Windowed) {
            // An ordinary window takes the size Windows suggests at the new scale.
            const RECT& suggested = *reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(window, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                         suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
        } else {
            // The suggested rectangle fits one monitor; the window stays over its area.
            FollowScreenArea();
        }
        return 0;
    case WM_SYSCOMMAND:
        // Returning 0 refuses them: the picture is playing.
        if (keepAwake && ((wParam & 0xFFF0) == SC_SCREENSAVE || (wParam & 0xFFF0) == SC_MONITORPOWER)) {
            return 0;
        }
        break;
    case WM_SETCURSOR:
        // An ordinary window shows the arrow over its picture (the class has no cursor).
        if (placement.mode == WindowMode::Windowed && LOWORD(lParam) == HTCLIENT) {
            SetCursor(LoadCursorA(nullptr, IDC_ARROW));
            return TRUE;
        }
        break;
    case WM_GETMINMAXINFO: {
        if (placement.mode == WindowMode::Windowed) {
            break;
        }
        // Maximised, a window takes one monitor's size unless told otherwise.
        const ScreenArea screen = CoveredArea();
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

ScreenArea Window::CoveredArea() const
{
    return placement.mode == WindowMode::OneMonitor ? MonitorArea(placement.monitor) : VirtualScreen();
}

bool Window::FollowScreenArea()
{
    if (placement.mode == WindowMode::Windowed) {
        return false;
    }
    const ScreenArea screen = CoveredArea();
    RECT rect{};
    if (IsIconic(hwnd) || !GetWindowRect(hwnd, &rect) || AreaOf(rect) == screen) {
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
