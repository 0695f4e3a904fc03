#include "audio/bass.h"

#include "audio/bass_calls.h"
#include "audio/process_library.h"

BASS_API BOOL WINAPI BASS_Init(int device, DWORD, DWORD, HWND, const void*)
{
    return InitOn(ProcessLibrary(), device);
}

BASS_API BOOL WINAPI BASS_Free()
{
    return FreeOn(ProcessLibrary());
}

BASS_API DWORD WINAPI BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags)
{
    return StreamCreateFileOn(ProcessLibrary(), mem, file, offset, length, flags);
}

BASS_API BOOL WINAPI BASS_ChannelStart(DWORD handle)
{
    return ChannelStartOn(ProcessLibrary(), handle);
}

BASS_API QWORD WINAPI BASS_ChannelGetPosition(DWORD handle, DWORD mode)
{
    return ChannelGetPositionOn(ProcessLibrary(), handle, mode);
}

BASS_API QWORD WINAPI BASS_ChannelGetLength(DWORD handle, DWORD mode)
{
    return ChannelGetLengthOn(ProcessLibrary(), handle, mode);
}

BASS_API double WINAPI BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos)
{
    return ChannelBytes2SecondsOn(ProcessLibrary(), handle, pos);
}

BASS_API QWORD WINAPI BASS_ChannelSeconds2Bytes(DWORD handle, double pos)
{
    return ChannelSeconds2BytesOn(ProcessLibrary(), handle, pos);
}

BASS_API BOOL WINAPI BASS_ChannelPlay(DWORD handle, BOOL restart)
{
    return ChannelPlayOn(ProcessLibrary(), handle, restart);
}

BASS_API BOOL WINAPI BASS_ChannelPause(DWORD handle)
{
    return ChannelPauseOn(ProcessLibrary(), handle);
}

BASS_API BOOL WINAPI BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode)
{
    return ChannelSetPositionOn(ProcessLibrary(), handle, pos, mode);
}

BASS_API DWORD WINAPI BASS_ChannelIsActive(DWORD handle)
{
    return ChannelIsActiveOn(ProcessLibrary(), handle);
}
