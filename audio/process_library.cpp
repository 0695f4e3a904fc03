#include "audio/process_library.h"

#include "audio/runtime_exit.h"

#include <windows.h>

#include <atomic>

namespace {

// The library once it is made: the loader's last notice must not make one,
// and with it an exit call, during the process's teardown.
// NOLINTNEXTLINE(cppcoreguidelines-avoid-non-const-global-variables): read by DllMain, which takes no context.
std::atomic<AudioLibrary*> made{nullptr};

int __cdecl EndOnExit()
{
    ProcessLibrary().EndAtExit();
    return 0;
}

void __cdecl EndAtExit()
{
    ProcessLibrary().EndAtExit();
}

AudioLibrary* MakeLibrary()
{
    auto* library = new AudioLibrary();
    // A program may return from main with its music playing and never call
    // BASS_Free: the streams then end in the runtime's exit, while every
    // thread still runs.
    RunAtRuntimeExit(EndOnExit, EndAtExit);
    made = library;
    return library;
}

}  // namespace

// It is never destroyed: after ExitProcess has ended the other threads,
// tearing playback down could only hang. Its end at the runtime's exit (or
// BASS_Free) leaves nothing running, but for a stream whose threads outlast
// the end's bounded wait: that one is left to the process's end, as is the library.
AudioLibrary& ProcessLibrary()
{
    // NOLINTNEXTLINE(cppcoreguidelines-avoid-non-const-global-variables): the exported functions' one library.
    static AudioLibrary* const library = MakeLibrary();
    return *library;
}

// NOLINTNEXTLINE(readability-identifier-naming): the name the loader calls.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID processEnding)
{
    // Here the process's other threads are already gone: a stream still
    // playing is left as it is.
    AudioLibrary* const library = made;
    if (reason == DLL_PROCESS_DETACH && processEnding != nullptr && library != nullptr) {
        library->Abandon();
    }
    return TRUE;
}
