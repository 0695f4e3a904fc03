// A delay-loaded call whose DLL or function cannot be found (Media Foundation
// on Windows' N editions, which lack it until the media pack is installed)
// would raise an exception that ends the process. This failure hook of the
// delay-load helper turns it into an ordinary failed call instead, which the
// caller handles as any other failure of that call. It is linked into each
// binary as an object file, so that it takes the place of the runtime's
// empty hook (see CMakeLists.txt).
#include <windows.h>
#include <delayimp.h>

namespace {

// Stand-ins for the functions that cannot be found. On x64 the caller clears
// the arguments, so a function without parameters can take any call.
// Every function of the DLLs delay-loaded here returns an HRESULT, except
// avrt.dll's, which return a handle or a BOOL, 0 on failure.
template <DWORD error>
INT_PTR WINAPI FailedHresultCall()
{
    return HRESULT_FROM_WIN32(error);  // the caller reads the low 32 bits
}

template <DWORD error>
INT_PTR WINAPI FailedZeroCall()
{
    SetLastError(error);
    return 0;
}

// The binary this hook is linked into. `flags` 0 adds a reference to it.
HMODULE ThisModule(DWORD flags)
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | flags, reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

FARPROC WINAPI DelayLoadFailed(unsigned notification, PDelayLoadInfo info)
{
    if (notification == dliFailLoadLib) {
        // The helper wants a module to look the function up in: this one,
        // which has none of the names, with a reference as the LoadLibrary
        // call that failed would have given. That lookup fails and comes back below.
        return reinterpret_cast<FARPROC>(ThisModule(0));
    }
    if (notification != dliFailGetProc) {
        return nullptr;
    }
    const bool noModule = info->hmodCur == ThisModule(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT);
    if (lstrcmpiA(info->szDll, "avrt.dll") == 0) {
        return noModule ? &FailedZeroCall<ERROR_MOD_NOT_FOUND> : &FailedZeroCall<ERROR_PROC_NOT_FOUND>;
    }
    return noModule ? &FailedHresultCall<ERROR_MOD_NOT_FOUND> : &FailedHresultCall<ERROR_PROC_NOT_FOUND>;
}

}  // namespace

// The helper's hook, named and typed by the platform: MSVC's delayimp.h
// declares it const, MinGW-w64's does not.
extern "C" {
#if defined(_MSC_VER)
const PfnDliHook __pfnDliFailureHook2 = DelayLoadFailed;
#else
// NOLINTNEXTLINE(cppcoreguidelines-avoid-non-const-global-variables): the helper reads this variable by name.
PfnDliHook __pfnDliFailureHook2 = DelayLoadFailed;
#endif
}
