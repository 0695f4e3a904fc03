#pragma once

#include <windows.h>

// A plain visible pop-up window over the virtual screen, for tests that need
// a swap chain without the program's own window class.
class TestWindow {
public:
    TestWindow();
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    HWND Handle() const { return hwnd; }

private:
    HWND hwnd = nullptr;
};
