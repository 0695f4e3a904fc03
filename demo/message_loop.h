#pragma once

#include <windows.h>

#include <cstdint>

// Drains the window-message queue and, whenever it is empty, draws one frame,
// until the quit message is retrieved. Returns the low 32 bits of its wParam.
template <typename DrawFrame>
int RunMessageLoop(DrawFrame&& drawFrame)
{
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            // The quit test comes first: a quit ends the loop even with
            // further messages queued behind it.
            if (message.message == WM_QUIT) {
                return static_cast<int>(static_cast<std::uint32_t>(message.wParam));
            }
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        drawFrame();
    }
}
