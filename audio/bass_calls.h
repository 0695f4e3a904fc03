// What each exported call does, on a given library: bass.cpp hands them the
// process's one library, the tests one whose seams they choose. Each call
// fails as it fails for any other reason when memory or a thread cannot be
// had: no exception reaches the program through the C interface.
#pragma once

#include "audio/audio_library.h"
#include "audio/bass.h"

BOOL InitOn(AudioLibrary& library, int device);
BOOL FreeOn(AudioLibrary& library);
DWORD StreamCreateFileOn(AudioLibrary& library, BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags);
BOOL ChannelStartOn(AudioLibrary& library, DWORD handle);
QWORD ChannelGetPositionOn(AudioLibrary& library, DWORD handle, DWORD mode);
QWORD ChannelGetLengthOn(AudioLibrary& library, DWORD handle, DWORD mode);
double ChannelBytes2SecondsOn(AudioLibrary& library, DWORD handle, QWORD pos);
QWORD ChannelSeconds2BytesOn(AudioLibrary& library, DWORD handle, double pos);
BOOL ChannelPlayOn(AudioLibrary& library, DWORD handle, BOOL restart);
BOOL ChannelPauseOn(AudioLibrary& library, DWORD handle);
BOOL ChannelSetPositionOn(AudioLibrary& library, DWORD handle, QWORD pos, DWORD mode);
DWORD ChannelIsActiveOn(AudioLibrary& library, DWORD handle);
