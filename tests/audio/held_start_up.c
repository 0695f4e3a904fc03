// Stands in for a DLL that a stream's thread loads just as the program
// exits, whose start-up wants the C runtime's exit lock, as a DLL's start-up
// that registers an exit call does: copied beside the exit probe as avrt.dll,
// which the thread feeding the device loads first. Its start-up waits until
// the probe, already inside exit(), lets it go on, tells so, then registers
// with msvcrt.dll's _onexit, which waits for the lock the exit holds. Loaded
// by any other process it does nothing. No C runtime of its own: kernel32 only.
#include <windows.h>

static int __cdecl Nothing(void)
{
    return 0;
}

// "Local\vexlar-held-start-up-<process id in hex>-<what>", as the probe names its events.
static HANDLE OpenProbeEvent(const wchar_t* what)
{
    wchar_t name[96] = L"Local\\vexlar-held-start-up-";
    int at = 27;
    const DWORD id = GetCurrentProcessId();
    for (int shift = 28; shift >= 0; shift -= 4) {
        name[at++] = L"0123456789abcdef"[(id >> shift) & 0xF];
    }
    name[at++] = L'-';
    while (*what != 0 && at < 95) {
        name[at++] = *what++;
    }
    name[at] = 0;
    return OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, name);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH) {
        return TRUE;
    }
    const HANDLE go = OpenProbeEvent(L"go");
    const HANDLE taking = OpenProbeEvent(L"taking");
    const HMODULE runtime = GetModuleHandleW(L"msvcrt.dll");
    typedef void*(__cdecl * OnExit)(int(__cdecl*)(void));
    const OnExit onExit = runtime == NULL ? NULL : (OnExit)(void (*)(void))GetProcAddress(runtime, "_onexit");
    if (go != NULL && taking != NULL && onExit != NULL) {
        WaitForSingleObject(go, 30000);
        SetEvent(taking);
        onExit(Nothing);
    }
    if (go != NULL) {
        CloseHandle(go);
    }
    if (taking != NULL) {
        CloseHandle(taking);
    }
    return TRUE;
}
