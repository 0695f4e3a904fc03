// Runs work on a short-lived thread in COM's multithreaded apartment, so the
// library never touches the apartment the caller's thread has chosen.
#pragma once

#include "audio/exception_barrier.h"

#include <objbase.h>

#include <thread>

// False when the work fails or throws, or COM cannot be started on the
// thread; throws when the thread cannot be made.
template <class Work>
bool RunOnMtaThread(Work&& work)
{
    bool result = false;
    std::thread worker([&] {
        if (SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
            result = FailOnException(false, work);
            CoUninitialize();
        }
    });
    worker.join();
    return result;
}
