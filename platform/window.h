#pragma once

#include "platform/input_state.h"
#include "render/graphics.h"

#include <windows.h>

#include <cstdint>
#include <memory>

// A rectangle of the desktop in pixels, in the coordinates whose origin is the
// primary monitor's top-left corner.
struct ScreenArea {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;

    friend bool operator==(const ScreenArea&, const ScreenArea&) = default;
};

// The virtual screen, the rectangle around every monitor. Its corner lies left
// of or above the primary monitor's origin when a monitor lies there.
ScreenArea VirtualScreen();

// The program's one window: a borderless pop-up over the whole virtual
// screen, the input state its messages fill, and the device drawing into it.
class Window {
public:
    // Restores the display settings stored in the registry (undoing a mode
    // another program left switched; it switches none itself), hides the
    // cursor, creates and shows the window over the virtual screen, then
    // creates the device for it. `width` and `height` are the client size the mouse is considered
    // inside of until the window reports its own.
    Window(std::int32_t width, std::int32_t height);
    ~Window();

    // The window's user data points at this object, so it never moves.
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // Puts the window over the virtual screen when it no longer covers it
    // exactly (a monitor plugged in or taken away, another resolution or
    // layout, the window moved or maximised onto one monitor by the system);
    // true when it did. A few metrics are read, so it can be asked every
    // frame: Wine changes the virtual screen without telling the window. A
    // minimised window is left until it is shown again.
    bool FollowVirtualScreen();

    KeyboardState keyboard;
    MouseState mouse;
    std::int32_t width;  // the client area's, from the latest size message
    std::int32_t height;
    HWND hwnd = nullptr;
    std::unique_ptr<Graphics> graphics;

private:
    void PointerMove(HWND window, std::int32_t mx, std::int32_t my);
};
