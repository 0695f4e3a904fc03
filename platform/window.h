#pragma once

#include "platform/input_state.h"
#include "render/graphics.h"

#include <windows.h>

#include <cstdint>
#include <memory>

// The program's one window: a borderless pop-up over the whole virtual
// screen, the input state its messages fill, and the device drawing into it.
class Window {
public:
    // Switches the display to full-screen mode, hides the cursor, creates and
    // shows the window, then creates the device for it. `width` and `height`
    // are the client size the mouse is considered inside of.
    Window(std::int32_t width, std::int32_t height);
    ~Window();

    // The window's user data points at this object, so it never moves.
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    KeyboardState keyboard;
    MouseState mouse;
    std::int32_t width;
    std::int32_t height;
    HWND hwnd = nullptr;
    std::unique_ptr<Graphics> graphics;

private:
    void PointerMove(HWND window, std::int32_t mx, std::int32_t my);
};
