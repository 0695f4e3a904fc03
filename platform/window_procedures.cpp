#include "platform/window_procedures.h"

#include "platform/window.h"

LRESULT CALLBACK SetupWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_NCCREATE) {
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    auto* window = static_cast<Window*>(create->lpCreateParams);
    if (window == nullptr) {
        // A window of this class made without a Window has nobody to
        // forward to; it stays with the default procedure.
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
    SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ForwardWindowProc));
    return window->HandleMessage(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK ForwardWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* window = reinterpret_cast<Window*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (window == nullptr) {
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    return window->HandleMessage(hwnd, message, wParam, lParam);
}
