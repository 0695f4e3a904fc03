// Runs work on a short-lived thread in COM's multithreaded apartment, so the
// library never touches the apartment the caller's thread has chosen.
#pragma once

#include <objbase.h>

#include <thread>

template <class Work>
bool RunOnMtaThread(Work&& work)
{
    bool result = false;
    std::thread worker([&] {
        if (SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
            result = work();
            CoUninitialize();
        }
    });
    worker.join();
    return result;
}
