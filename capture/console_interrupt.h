#pragma once

#include <stop_token>

// Ctrl+C, Ctrl+Break and closing the console ask the capture to stop between
// frames, so that it ends cleaning up its output, instead of the system
// ending the process in the middle of a write. The console's handler takes
// no context, so it signals one stop source of the process; one object at a
// time installs it.
class ConsoleInterrupt {
public:
    ConsoleInterrupt();
    ~ConsoleInterrupt();
    ConsoleInterrupt(const ConsoleInterrupt&) = delete;
    ConsoleInterrupt& operator=(const ConsoleInterrupt&) = delete;

    std::stop_token Token() const;
    bool Requested() const;
};
