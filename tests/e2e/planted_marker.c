// Stands in for a system DLL planted beside the programs: whoever loads it
// appends its path to planted.log in the current folder. It uses kernel32
// alone (a KnownDLL) and no C runtime, whose DLL could be a planted name.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    char path[MAX_PATH + 2];
    const DWORD length = GetModuleFileNameA(instance, path, MAX_PATH);
    if (reason != DLL_PROCESS_ATTACH || length == 0 || length >= MAX_PATH) {
        return TRUE;
    }
    path[length] = '\r';
    path[length + 1] = '\n';
    const HANDLE log = CreateFileA("planted.log", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                   OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (log != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(log, path, length + 2, &written, NULL);
        CloseHandle(log);
    }
    return TRUE;
}
