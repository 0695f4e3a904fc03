#pragma once

#include <windows.h>

// The class's window procedure: until WM_NCCREATE arrives the window has no
// Window, so everything goes to the default procedure. WM_NCCREATE binds the
// Window given as the creation parameter and hands over to ForwardWindowProc.
LRESULT CALLBACK SetupWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The bound window's procedure: passes every message to its Window.
LRESULT CALLBACK ForwardWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
