#include "capture/console_interrupt.h"

#include <windows.h>

namespace {

std::stop_source& InterruptSource()
{
    static std::stop_source source;
    return source;
}

// Runs on a thread the system starts for the event.
BOOL WINAPI OnConsoleEvent(DWORD event)
{
    InterruptSource().request_stop();
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        return TRUE;
    }
    // The console is closing (or the session ending): the system ends the
    // process as soon as this returns, or a few seconds after the event. Held
    // here, the process lives on until the capture has cleaned up and exits,
    // which ends this thread too.
    Sleep(INFINITE);
    return TRUE;
}

}  // namespace

ConsoleInterrupt::ConsoleInterrupt()
{
    InterruptSource();  // made before the handler can run
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

ConsoleInterrupt::~ConsoleInterrupt()
{
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
}

std::stop_token ConsoleInterrupt::Token() const
{
    return InterruptSource().get_token();
}

bool ConsoleInterrupt::Requested() const
{
    return InterruptSource().stop_requested();
}
