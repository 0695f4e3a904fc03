// The events the library's threads wait on: a handle that closes itself, and
// a wait that paces the loop around it even when it fails.
#pragma once

#include <windows.h>

#include <memory>

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using OwnedHandle = std::unique_ptr<void, HandleCloser>;

// Waits for one of `handles` or the timeout. A wait that fails (a handle
// gone bad) sleeps out the timeout instead, so the loop around it is paced
// all the same rather than spinning a core.
inline DWORD PacedWait(DWORD count, const HANDLE* handles, DWORD timeoutMs)
{
    const DWORD result = WaitForMultipleObjects(count, handles, FALSE, timeoutMs);
    if (result == WAIT_FAILED) {
        Sleep(timeoutMs);
    }
    return result;
}
