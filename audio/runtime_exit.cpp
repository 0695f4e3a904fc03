#include "audio/runtime_exit.h"

#include <windows.h>

namespace {

using OnExitFunction = int(__cdecl*)();
using AtExitFunction = void(__cdecl*)();

template <class Function>
Function RuntimeFunction(const wchar_t* module, const char* name)
{
    const HMODULE runtime = GetModuleHandleW(module);
    if (runtime == nullptr) {
        return nullptr;
    }
    // Through the one function type that converts to any other without a
    // warning: the export has the type of `Function`.
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): GetProcAddress's result has the export's type.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(runtime, name)));
}

}  // namespace

int RunAtRuntimeExit(OnExitFunction onExit, AtExitFunction atExit)
{
    HMODULE self = nullptr;
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the address names the module that holds it.
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                            reinterpret_cast<LPCWSTR>(atExit), &self)) {
        return 0;
    }
    int taken = 0;
    // The process's own table, which exit() runs: a DLL's atexit would fill
    // the DLL's table instead, run only at its DLL_PROCESS_DETACH.
    // Both when both are loaded (our own DLL uses msvcrt.dll, the program
    // may use the UCRT): whichever exit() the program calls runs one, and the
    // caller's end runs once.
    if (const auto onExitTable = RuntimeFunction<OnExitFunction(__cdecl*)(OnExitFunction)>(L"msvcrt.dll", "_onexit")) {
        taken += onExitTable(onExit) != nullptr ? 1 : 0;
    }
    if (const auto atExitTable = RuntimeFunction<int(__cdecl*)(AtExitFunction)>(L"ucrtbase.dll", "_crt_atexit")) {
        taken += atExitTable(atExit) == 0 ? 1 : 0;
    }
    return taken;
}
