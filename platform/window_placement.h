// Where the program's window goes, as the viewer asked on the command line.
// Free of Windows' headers: the command line's parser fills it.
#pragma once

#include <cstdint>

enum class WindowMode {
    WholeScreen,  // borderless over every monitor at once: the program without options
    OneMonitor,   // borderless over one monitor
    Windowed,     // an ordinary window with a title bar, resizable
};

struct WindowPlacement {
    WindowMode mode = WindowMode::WholeScreen;
    // OneMonitor: 1 the primary, then the others in the order Windows lists them.
    std::uint32_t monitor = 1;
    // Windowed: the client area's size; 0 by 0 for the default.
    std::uint32_t clientWidth = 0;
    std::uint32_t clientHeight = 0;

    friend bool operator==(const WindowPlacement&, const WindowPlacement&) = default;
};
