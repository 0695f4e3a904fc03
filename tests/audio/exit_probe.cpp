// Starts playback as the demo does (from a thread in a single-threaded COM
// apartment), checks that it runs, and returns 42 from main while the
// library's thread still plays: the exit code must reach the parent intact,
// and the library must have ended by the time the runtime's earlier exit
// calls run (otherwise the exit code is 6).
// Given a number of seconds as well, it first plays that long and prints the
// position every 10 ms ("milliseconds bytes" a line), for the scripts that
// watch the sound through a sound server. Given "free" last, it ends the
// library with BASS_Free before returning, as the programs do, and checks
// that the stream is gone (otherwise 7). Given "ucrt" last, it loads
// ucrtbase.dll first and ends through that runtime's exit, whose table alone
// then runs (8 when it has none). Given "held" last, beside held_start_up.c's
// DLL as avrt.dll, the stream's feeding thread is still inside that DLL's
// start-up at the exit, which waits there for the runtime's exit lock: the
// probe returns at once, and lets the start-up go on from inside exit(),
// before the library's end; the exit must not hang.
#include "audio/bass.h"

#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

DWORD stream = 0;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables): read by the exit call

constexpr QWORD kNoPosition = ~QWORD{0};

// Registered before the library's own exit call, so it runs after it.
void __cdecl CheckLibraryEnded()
{
    if (stream != 0 && BASS_ChannelGetPosition(stream, BASS_POS_BYTE) != kNoPosition) {
        std::_Exit(6);
    }
}

// The events the held DLL's start-up opens, named for this process.
HANDLE ProbeEvent(const char* what)
{
    char name[96];
    std::snprintf(name, sizeof(name), "Local\\vexlar-held-start-up-%08lx-%s", GetCurrentProcessId(), what);
    return CreateEventA(nullptr, TRUE, FALSE, name);
}

HANDLE go = nullptr;      // NOLINT(cppcoreguidelines-avoid-non-const-global-variables): read by the exit call
HANDLE taking = nullptr;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables): read by the exit call

// Registered after the library's exit call, so it runs before it, inside exit().
void LetTheStartUpGoOn()
{
    SetEvent(go);
    WaitForSingleObject(taking, 10000);
}

template <class Function>
Function Export(HMODULE module, const char* name)
{
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): GetProcAddress's result has the export's type.
    return module == nullptr ? nullptr
                             : reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 3 ? argv[argc - 1] : "";
    const bool free = mode == "free";
    const bool held = mode == "held";
    const bool ucrt = mode == "ucrt";
    if (free || held || ucrt) {
        --argc;
    }
    if (argc != 3 && argc != 4) {
        return 2;
    }
    using AtExit = int(__cdecl*)(void(__cdecl*)());
    using Exit = void(__cdecl*)(int);
    const HMODULE ucrtbase = ucrt ? LoadLibraryW(L"ucrtbase.dll") : nullptr;
    const auto ucrtAtExit = Export<AtExit>(ucrtbase, "_crt_atexit");
    const auto ucrtExit = Export<Exit>(ucrtbase, "exit");
    if (ucrt && (ucrtAtExit == nullptr || ucrtExit == nullptr || ucrtAtExit(CheckLibraryEnded) != 0)) {
        return 8;
    }
    if (!ucrt) {
        std::atexit(CheckLibraryEnded);
    }
    go = held ? ProbeEvent("go") : nullptr;
    taking = held ? ProbeEvent("taking") : nullptr;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (!BASS_Init(std::atoi(argv[1]), 44100, 0, nullptr, nullptr)) {
        return 3;
    }
    stream = BASS_StreamCreateFile(FALSE, argv[2], 0, 0, 0);
    if (stream == 0 || !BASS_ChannelStart(stream)) {
        return 4;
    }
    if (held) {
        std::atexit(LetTheStartUpGoOn);
        return 42;  // the feeding thread never plays: it is inside the DLL's start-up
    }
    if (argc == 4) {
        const DWORD start = GetTickCount();
        const DWORD span = static_cast<DWORD>(std::atof(argv[3]) * 1000);
        for (DWORD elapsed = 0; elapsed < span; elapsed = GetTickCount() - start) {
            std::printf("%lu %llu\n", elapsed, BASS_ChannelGetPosition(stream, BASS_POS_BYTE));
            std::fflush(stdout);
            Sleep(10);
        }
    }
    for (int i = 0; i < 300 && BASS_ChannelGetPosition(stream, BASS_POS_BYTE) == 0; ++i) {
        Sleep(10);
    }
    if (BASS_ChannelGetPosition(stream, BASS_POS_BYTE) == 0) {
        return 5;
    }
    Sleep(100);
    if (free && (!BASS_Free() || BASS_ChannelGetPosition(stream, BASS_POS_BYTE) != kNoPosition || BASS_Free())) {
        return 7;
    }
    if (ucrt) {
        ucrtExit(42);
    }
    return 42;
}
