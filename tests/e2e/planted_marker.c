// Stands in for a system DLL planted beside the program. Whoever loads it gets
// its path appended to planted.log in its own folder; it has none of the real
// DLL's functions, so a program that needed them fails right after. It uses kernel32 alone
// (a KnownDLL, never taken from the program's folder) and no C runtime, whose
// DLL could itself be one of the planted names.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH) {
        return TRUE;
    }
    char path[MAX_PATH + 2];
    const DWORD length = GetModuleFileNameA(instance, path, MAX_PATH);
    char log[MAX_PATH + 16];
    if (length == 0 || length >= MAX_PATH || lstrcpynA(log, path, MAX_PATH) == NULL) {
        return TRUE;
    }
    DWORD folderEnd = length;
    while (folderEnd > 0 && log[folderEnd - 1] != '\\') {
        --folderEnd;
    }
    lstrcpyA(log + folderEnd, "planted.log");
    path[length] = '\r';
    path[length + 1] = '\n';
    const HANDLE file = CreateFileA(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, path, length + 2, &written, NULL);
        CloseHandle(file);
    }
    return TRUE;
}
