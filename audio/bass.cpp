#include "audio/bass.h"

#include "audio/bass_calls.h"

namespace {

// The one library state of the process. It is never destroyed: the program
// neither frees its stream nor shuts the library down, and tearing playback
// down while the process exits (its threads already gone) could only hang.
AudioLibrary& Library()
{
    // NOLINTNEXTLINE(cppcoreguidelines-avoid-non-const-global-variables): the exported functions' one library.
    static AudioLibrary* const library = new AudioLibrary();
    return *library;
}

}  // namespace

BASS_API BOOL WINAPI BASS_Init(int device, DWORD, DWORD, HWND, const void*)
{
    return InitOn(Library(), device);
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
