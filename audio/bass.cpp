#include "audio/bass.h"

#include "audio/bass_calls.h"
#include "audio/runtime_exit.h"

namespace {

AudioLibrary& Library();

int __cdecl EndOnExit()
{
    Library().EndAtExit();
    return 0;
}

void __cdecl EndAtExit()
{
    Library().EndAtExit();
}

AudioLibrary* MakeLibrary()
{
    auto* library = new AudioLibrary();
    // A program may return from main with its music playing and never call
    // BASS_Free: the streams then end in the runtime's exit, while every
    // thread still runs.
    RunAtRuntimeExit(EndOnExit, EndAtExit);
    return library;
}

// The one library state of the process. It is never destroyed: after
// ExitProcess has ended the other threads, tearing playback down could only
// hang, and its end at the runtime's exit (or BASS_Free) leaves nothing
// running to destroy.
AudioLibrary& Library()
{
    // NOLINTNEXTLINE(cppcoreguidelines-avoid-non-const-global-variables): the exported functions' one library.
    static AudioLibrary* const library = MakeLibrary();
    return *library;
}

}  // namespace

BASS_API BOOL WINAPI BASS_Init(int device, DWORD, DWORD, HWND, const void*)
{
    return InitOn(Library(), device);
}

BASS_API BOOL WINAPI BASS_Free()
{
    return FreeOn(Library());
}

BASS_API DWORD WINAPI BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags)
{
    return StreamCreateFileOn(Library(), mem, file, offset, length, flags);
}

BASS_API BOOL WINAPI BASS_ChannelStart(DWORD handle)
{
    return ChannelStartOn(Library(), handle);
}

BASS_API QWORD WINAPI BASS_ChannelGetPosition(DWORD handle, DWORD mode)
{
    return ChannelGetPositionOn(Library(), handle, mode);
}

BASS_API QWORD WINAPI BASS_ChannelGetLength(DWORD handle, DWORD mode)
{
    return ChannelGetLengthOn(Library(), handle, mode);
}

BASS_API double WINAPI BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos)
{
    return ChannelBytes2SecondsOn(Library(), handle, pos);
}

BASS_API QWORD WINAPI BASS_ChannelSeconds2Bytes(DWORD handle, double pos)
{
    return ChannelSeconds2BytesOn(Library(), handle, pos);
}

BASS_API BOOL WINAPI BASS_ChannelPlay(DWORD handle, BOOL restart)
{
    return ChannelPlayOn(Library(), handle, restart);
}

BASS_API BOOL WINAPI BASS_ChannelPause(DWORD handle)
{
    return ChannelPauseOn(Library(), handle);
}

BASS_API BOOL WINAPI BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode)
{
    return ChannelSetPositionOn(Library(), handle, pos, mode);
}

BASS_API DWORD WINAPI BASS_ChannelIsActive(DWORD handle)
{
    return ChannelIsActiveOn(Library(), handle);
}

// NOLINTNEXTLINE(readability-identifier-naming): the name the loader calls.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID processEnding)
{
    // Here the process's other threads are already gone: a stream still
    // playing is left as it is.
    if (reason == DLL_PROCESS_DETACH && processEnding != nullptr) {
        Library().Abandon();
    }
    return TRUE;
}
