// A bass.dll that does no audio work at all: every call answers at once as if
// a stream of silence had opened and never moved. launch_bench puts it beside
// a copy of the demo, so that the demo's start with our library can be told
// apart from the demo's start without any audio.
#define BASS_BUILDING_LIBRARY
#include "audio/bass.h"

BASS_API BOOL WINAPI BASS_Init(int, DWORD, DWORD, HWND, const void*)
{
    return TRUE;
}

BASS_API BOOL WINAPI BASS_Free()
{
    return TRUE;
}

BASS_API DWORD WINAPI BASS_StreamCreateFile(BOOL, const void*, QWORD, QWORD, DWORD)
{
    return 1;
}

BASS_API BOOL WINAPI BASS_ChannelStart(DWORD)
{
    return TRUE;
}

BASS_API QWORD WINAPI BASS_ChannelGetPosition(DWORD, DWORD)
{
    return 0;
}

BASS_API QWORD WINAPI BASS_ChannelGetLength(DWORD, DWORD)
{
    return 0;
}

BASS_API double WINAPI BASS_ChannelBytes2Seconds(DWORD, QWORD)
{
    return 0.0;
}
