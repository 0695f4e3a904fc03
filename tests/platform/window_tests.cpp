#include "platform/window.h"
#include "platform/window_class.h"
#include "platform/window_procedures.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr LPARAM kRepeatBit = LPARAM{1} << 30;
constexpr LPARAM kAltHeldBit = LPARAM{1} << 29;

LPARAM Point(int x, int y)
{
    return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y));
}

// Removes a pending quit message; returns its code, or -1 if there was none.
WPARAM TakeQuit()
{
    MSG msg{};
    return PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) ? msg.wParam : WPARAM(-1);
}

std::vector<MouseEvent> Events(const MouseState& mouse)
{
    std::vector<MouseEvent> events;
    for (std::size_t i = 0; i < mouse.events.Size(); ++i) {
        events.push_back(mouse.events[i]);
    }
    return events;
}

// One full-screen window with its device for the whole executable; every
// test starts from fresh input state.
class WindowTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        window = std::make_unique<Window>(GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN));
    }

    static void TearDownTestSuite()
    {
        const HWND hwnd = window->hwnd;
        window.reset();
        EXPECT_FALSE(IsWindow(hwnd));
    }

    void SetUp() override
    {
        ReleaseCapture();
        window->keyboard = KeyboardState{};
        window->mouse = MouseState{};
        TakeQuit();
    }

    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        return SendMessageA(window->hwnd, message, wParam, lParam);
    }

    void MoveTo(int x, int y) { Send(WM_MOUSEMOVE, 0, Point(x, y)); }

    static inline std::unique_ptr<Window> window;
};

TEST_F(WindowTest, IsABorderlessPopUpOverTheVirtualScreenWithTheCursorHidden)
{
    const HWND hwnd = window->hwnd;
    ASSERT_TRUE(IsWindow(hwnd));
    char text[64] = {};
    GetClassNameA(hwnd, text, sizeof(text));
    EXPECT_STREQ(text, "Vexlar Direct3D Engine Window");
    GetWindowTextA(hwnd, text, sizeof(text));
    EXPECT_STREQ(text, "Vexlar-engine");

    // Created maximized; showing it with SW_SHOWDEFAULT restores it to the
    // creation rectangle, which already is the whole virtual screen.
    const auto style = static_cast<DWORD>(GetWindowLongPtrA(hwnd, GWL_STYLE));
    EXPECT_EQ(style & (WS_POPUP | WS_VISIBLE), DWORD{WS_POPUP | WS_VISIBLE});
    EXPECT_EQ(style & (WS_CAPTION | WS_THICKFRAME | WS_SYSMENU), 0u);
    RECT rect{};
    GetWindowRect(hwnd, &rect);
    const ScreenArea screen = VirtualScreen();
    EXPECT_EQ(rect.left, screen.x);
    EXPECT_EQ(rect.top, screen.y);
    EXPECT_EQ(rect.right, screen.x + screen.width);
    EXPECT_EQ(rect.bottom, screen.y + screen.height);

    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    ASSERT_TRUE(GetClassInfoExA(WindowClass::Instance(), WindowClass::kName, &windowClass));
    EXPECT_EQ(windowClass.style, UINT{CS_OWNDC});
    EXPECT_EQ(windowClass.lpfnWndProc, &SetupWindowProc);
    EXPECT_EQ(windowClass.hbrBackground, nullptr);
    EXPECT_EQ(windowClass.hCursor, nullptr);
    EXPECT_EQ(WindowClass::Instance(), GetModuleHandleA(nullptr));
    EXPECT_EQ(GetWindowLongPtrA(hwnd, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(window.get()));
    EXPECT_EQ(GetWindowLongPtrA(hwnd, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&ForwardWindowProc));
    EXPECT_NE(window->graphics, nullptr);

    CURSORINFO cursor{};
    cursor.cbSize = sizeof(cursor);
    ASSERT_TRUE(GetCursorInfo(&cursor));
    EXPECT_EQ(cursor.flags & CURSOR_SHOWING, 0u);
}

TEST_F(WindowTest, QueuesKeepTheSixteenNewestEntriesAndKeyCodesWrapAt256)
{
    for (int i = 1; i <= 17; ++i) {
        Send(WM_KEYDOWN, 0x100 + i);
        Send(WM_CHAR, 0x200 + 'a' + i);
        Send(WM_MOUSEWHEEL, MAKEWPARAM(0, i % 2 ? 120 : -120));
    }
    const KeyboardState& keyboard = window->keyboard;
    ASSERT_EQ(keyboard.keyEvents.Size(), 16u);
    EXPECT_EQ(keyboard.keyEvents[0], (KeyEvent{KeyEventKind::Press, 2}));
    EXPECT_EQ(keyboard.keyEvents[15], (KeyEvent{KeyEventKind::Press, 17}));
    EXPECT_TRUE(keyboard.keyStates[17]);
    EXPECT_EQ(keyboard.keyStates.count(), 17u);
    ASSERT_EQ(keyboard.chars.Size(), 16u);
    EXPECT_EQ(keyboard.chars[0], 'a' + 2);
    EXPECT_EQ(keyboard.chars[15], 'a' + 17);
    ASSERT_EQ(window->mouse.events.Size(), 16u);
    EXPECT_EQ(window->mouse.events[0].kind, MouseEventKind::WheelDown);
    EXPECT_EQ(window->mouse.events[15].kind, MouseEventKind::WheelUp);

    Send(WM_SYSKEYUP, 0x105);
    EXPECT_FALSE(keyboard.keyStates[5]);
    EXPECT_EQ(keyboard.keyEvents[15], (KeyEvent{KeyEventKind::Release, 5}));
}

TEST_F(WindowTest, RepeatsAreIgnoredUnlessAutorepeatIsOn)
{
    KeyboardState& keyboard = window->keyboard;
    Send(WM_KEYDOWN, 'A', 1);
    Send(WM_KEYDOWN, 'A', kRepeatBit | 1);
    Send(WM_SYSKEYDOWN, 'B', kRepeatBit | 1);
    EXPECT_EQ(keyboard.keyEvents.Size(), 1u);
    EXPECT_TRUE(keyboard.keyStates['A']);
    EXPECT_FALSE(keyboard.keyStates['B']);

    keyboard.autorepeat = true;
    Send(WM_KEYDOWN, 'A', kRepeatBit | 1);
    EXPECT_EQ(keyboard.keyEvents.Size(), 2u);
}

TEST_F(WindowTest, LosingFocusReleasesEveryKeyAndNothingElse)
{
    Send(WM_KEYDOWN, VK_ESCAPE);
    Send(WM_KEYDOWN, 'Q');
    Send(WM_CHAR, 'q');
    MoveTo(5, 6);
    Send(WM_RBUTTONDOWN);
    Send(WM_KILLFOCUS);
    EXPECT_TRUE(window->keyboard.keyStates.none());
    EXPECT_EQ(window->keyboard.keyEvents.Size(), 2u);
    EXPECT_EQ(window->keyboard.chars.Size(), 1u);
    EXPECT_EQ(window->mouse.events.Size(), 3u);
    EXPECT_TRUE(window->mouse.rightPressed);
    EXPECT_TRUE(window->mouse.inWindow);
}

TEST_F(WindowTest, EnteringCapturesTheMouseAndLeavingReportsTheLastInsidePosition)
{
    const int w = window->width;
    const int h = window->height;
    MoveTo(10, 20);
    EXPECT_EQ(GetCapture(), window->hwnd);
    EXPECT_TRUE(window->mouse.inWindow);
    MoveTo(w - 1, h - 1);  // still inside: no second Enter
    MoveTo(w, 0);          // the right edge is outside
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_FALSE(window->mouse.inWindow);
    MoveTo(-3, 5);  // outside again: Leave once more, with the same position
    const std::vector<MouseEvent> expected{
        {MouseEventKind::Move, false, false, 10, 20},        {MouseEventKind::Enter, false, false, 10, 20},
        {MouseEventKind::Move, false, false, w - 1, h - 1},  {MouseEventKind::Leave, false, false, w - 1, h - 1},
        {MouseEventKind::Leave, false, false, w - 1, h - 1},
    };
    EXPECT_EQ(Events(window->mouse), expected);
}

TEST_F(WindowTest, TheClientAreaBoundsTheMouseAndTheWindowFollowsTheVirtualScreen)
{
    // Moved and shrunk, as the system may do on a display change.
    SetWindowPos(window->hwnd, nullptr, 40, 30, 300, 200, SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(window->width, 300);
    EXPECT_EQ(window->height, 200);
    MoveTo(299, 199);
    EXPECT_TRUE(window->mouse.inWindow);
    MoveTo(300, 0);
    EXPECT_FALSE(window->mouse.inWindow);

    // Minimised, the window keeps its size and waits to be shown again.
    ShowWindow(window->hwnd, SW_MINIMIZE);
    EXPECT_EQ(window->width, 300);
    EXPECT_FALSE(window->FollowScreenArea());
    ShowWindow(window->hwnd, SW_RESTORE);

    EXPECT_TRUE(window->FollowScreenArea());
    const ScreenArea screen = VirtualScreen();
    RECT rect{};
    GetWindowRect(window->hwnd, &rect);
    EXPECT_EQ(rect.left, screen.x);
    EXPECT_EQ(rect.top, screen.y);
    EXPECT_EQ(window->width, screen.width);
    EXPECT_EQ(window->height, screen.height);
    EXPECT_FALSE(window->FollowScreenArea());

    // Windows tells of a display change or a new scaling (Wine here never
    // does): the window returns over the virtual screen at once, not to the
    // one-monitor rectangle a scaling change suggests.
    for (const UINT message : {UINT{WM_DISPLAYCHANGE}, UINT{WM_DPICHANGED}}) {
        SetWindowPos(window->hwnd, nullptr, 10, 10, 300, 200, SWP_NOZORDER | SWP_NOACTIVATE);
        RECT suggested{10, 10, 310, 210};
        SendMessageA(window->hwnd, message, message == WM_DPICHANGED ? MAKEWPARAM(144, 144) : 32,
                     message == WM_DPICHANGED ? reinterpret_cast<LPARAM>(&suggested) : MAKELPARAM(300, 200));
        GetWindowRect(window->hwnd, &rect);
        EXPECT_EQ(rect.left, screen.x) << message;
        EXPECT_EQ(rect.right - rect.left, screen.width) << message;
        EXPECT_EQ(window->height, screen.height) << message;
    }
}

TEST_F(WindowTest, DraggingOutsideIsTrackedUntilTheButtonIsReleased)
{
    const int h = window->height;
    MoveTo(100, 50);
    Send(WM_LBUTTONDOWN, MK_LBUTTON, Point(7, 8));  // carries the move's position, not its own
    MoveTo(-30, h + 5);
    EXPECT_TRUE(window->mouse.inWindow);
    Send(WM_RBUTTONDOWN, MK_RBUTTON, Point(9, 9));
    Send(WM_MOUSEWHEEL, MAKEWPARAM(MK_LBUTTON, 0), Point(9, 9));  // delta 0: nothing
    Send(WM_LBUTTONUP);
    Send(WM_RBUTTONUP);
    MoveTo(-40, 0);
    EXPECT_FALSE(window->mouse.inWindow);
    const std::vector<MouseEvent> expected{
        {MouseEventKind::Move, false, false, 100, 50},
        {MouseEventKind::Enter, false, false, 100, 50},
        {MouseEventKind::LeftPress, true, false, 100, 50},
        {MouseEventKind::Move, true, false, -30, h + 5},
        {MouseEventKind::RightPress, true, true, -30, h + 5},
        {MouseEventKind::LeftRelease, false, true, -30, h + 5},
        {MouseEventKind::RightRelease, false, false, -30, h + 5},
        {MouseEventKind::Leave, false, false, -30, h + 5},
    };
    EXPECT_EQ(Events(window->mouse), expected);
}

TEST_F(WindowTest, WheelQueuesOneEventPerMessageByDirection)
{
    Send(WM_MOUSEWHEEL, MAKEWPARAM(0, 0));
    EXPECT_TRUE(window->mouse.events.Empty());
    Send(WM_MOUSEWHEEL, MAKEWPARAM(0, 240));
    Send(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)));
    ASSERT_EQ(window->mouse.events.Size(), 2u);
    EXPECT_EQ(window->mouse.events[0].kind, MouseEventKind::WheelUp);
    EXPECT_EQ(window->mouse.events[1].kind, MouseEventKind::WheelDown);
}

TEST_F(WindowTest, CloseAndAltF4PostQuitWithCodeZeroAndKeepTheWindow)
{
    EXPECT_EQ(Send(WM_CLOSE), 0);
    EXPECT_TRUE(IsWindow(window->hwnd));
    EXPECT_EQ(TakeQuit(), 0u);
    EXPECT_EQ(TakeQuit(), WPARAM(-1));

    // The default processing of Alt+F4 posts the close command; WM_QUIT
    // comes out of the pump after it.
    Send(WM_SYSKEYDOWN, VK_F4, kAltHeldBit | 1);
    WPARAM quitCode = WPARAM(-1);
    MSG msg{};
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            quitCode = msg.wParam;
        } else {
            DispatchMessageA(&msg);
        }
    }
    EXPECT_EQ(quitCode, 0u);
    EXPECT_TRUE(IsWindow(window->hwnd));
}

// The system commands that reach the default processing, which asks the
// thread's CBT hook first. The hook refuses all but closing, so that no
// screen saver starts on a real desktop.
std::vector<WPARAM> defaultCommands;
LRESULT CALLBACK RecordSystemCommand(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_SYSCOMMAND) {
        defaultCommands.push_back(wParam & 0xFFF0);
        return (wParam & 0xFFF0) == SC_CLOSE ? 0 : 1;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Both answer 0 (the default processing does too): the test sees which
// commands were handed on to it.
TEST_F(WindowTest, WhileKeptAwakeRefusesTheScreenSaverAndMonitorPowerOffOnly)
{
    const HHOOK hook = SetWindowsHookExA(WH_CBT, RecordSystemCommand, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    for (const bool keepAwake : {true, false}) {
        window->keepAwake = keepAwake;
        defaultCommands.clear();
        // The low four bits of the command are the system's own.
        EXPECT_EQ(Send(WM_SYSCOMMAND, SC_SCREENSAVE | 3), 0);
        EXPECT_EQ(Send(WM_SYSCOMMAND, SC_MONITORPOWER, 2), 0);
        // Other commands keep their default processing: closing still quits.
        Send(WM_SYSCOMMAND, SC_CLOSE);
        EXPECT_EQ(TakeQuit(), 0u);
        const std::vector<WPARAM> handedOn =
            keepAwake ? std::vector<WPARAM>{SC_CLOSE} : std::vector<WPARAM>{SC_SCREENSAVE, SC_MONITORPOWER, SC_CLOSE};
        EXPECT_EQ(defaultCommands, handedOn) << "kept awake: " << keepAwake;
    }
    UnhookWindowsHookEx(hook);
    window->keepAwake = false;
}

// An ordinary window: a title bar and a frame to resize it by, its client
// area the size asked for, left where the viewer puts it, the cursor shown;
// one larger than the work area keeps its title bar on screen.
TEST(OrdinaryWindow, HasATitleBarAndTheClientSizeAskedForAndStaysWhereItIsPut)
{
    Window ordinary(800, 450, {.mode = WindowMode::Windowed, .clientWidth = 800, .clientHeight = 450});
    const auto style = static_cast<DWORD>(GetWindowLongPtrA(ordinary.hwnd, GWL_STYLE));
    EXPECT_EQ(style & WS_OVERLAPPEDWINDOW, DWORD{WS_OVERLAPPEDWINDOW});
    RECT client{};
    GetClientRect(ordinary.hwnd, &client);
    EXPECT_EQ(client.right, 800);
    EXPECT_EQ(client.bottom, 450);
    ASSERT_TRUE(ordinary.graphics && ordinary.graphics->swapChain);
    EXPECT_EQ(ordinary.graphics->width, 800u);

    SetWindowPos(ordinary.hwnd, nullptr, 20, 30, 500, 400, SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_FALSE(ordinary.FollowScreenArea());
    GetClientRect(ordinary.hwnd, &client);
    EXPECT_EQ(ordinary.width, client.right);
    EXPECT_EQ(ordinary.height, client.bottom);

    // Asked larger than the work area, it starts at the area's top left, its title bar on screen.
    RECT work{};
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
    Window large(800, 450,
                 {.mode = WindowMode::Windowed,
                  .clientWidth = static_cast<std::uint32_t>(work.right - work.left) + 400,
                  .clientHeight = static_cast<std::uint32_t>(work.bottom - work.top) + 300});
    RECT frame{};
    GetWindowRect(large.hwnd, &frame);
    EXPECT_EQ(frame.left, work.left);
    EXPECT_EQ(frame.top, work.top);
}

TEST_F(WindowTest, MessagesBeforeCreationAreNotForwarded)
{
    // Called as the class procedure, state-changing messages go to the
    // default procedure only: this procedure has no Window before WM_NCCREATE.
    SetupWindowProc(window->hwnd, WM_KEYDOWN, 'Z', 0);
    SetupWindowProc(window->hwnd, WM_MOUSEMOVE, 0, Point(1, 1));
    EXPECT_TRUE(window->keyboard.keyEvents.Empty());
    EXPECT_TRUE(window->mouse.events.Empty());

    // A window of the class made without a Window stays with the default
    // procedure, so closing it destroys it instead of quitting.
    const HWND unbound = CreateWindowExA(0, WindowClass::kName, "unbound", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                         WindowClass::Instance(), nullptr);
    ASSERT_NE(unbound, nullptr);
    EXPECT_EQ(GetWindowLongPtrA(unbound, GWLP_USERDATA), 0);
    SendMessageA(unbound, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(unbound));
    EXPECT_EQ(TakeQuit(), WPARAM(-1));
}

}  // namespace
