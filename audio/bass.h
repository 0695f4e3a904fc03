// Our audio library: the calls of the BASS interface that the programs
// use, with the vendor's documented names, types and values, so that the
// vendor's bass.dll can be dropped in beside the program in place of ours.
#pragma once

#include <windows.h>

#include <cstdint>

typedef std::uint64_t QWORD;

#ifdef BASS_BUILDING_LIBRARY
#define BASS_API extern "C" __declspec(dllexport)
#else
#define BASS_API extern "C" __declspec(dllimport)
#endif

// Stream creation flag: the file name is UTF-16 (otherwise it is in the ANSI code page).
#define BASS_UNICODE 0x80000000u
// Stream creation flag: play the stream again from its start at its end; the
// position starts again at 0 with each loop.
#define BASS_SAMPLE_LOOP 4u
// Position mode: bytes of the decoded stream.
#define BASS_POS_BYTE 0
// BASS_ChannelIsActive's answers.
#define BASS_ACTIVE_STOPPED 0
#define BASS_ACTIVE_PLAYING 1
#define BASS_ACTIVE_STALLED 2
#define BASS_ACTIVE_PAUSED 3

// Starts the output on a device: -1 or 1 the default device, 0 no sound.
// Without any output device, -1 still succeeds and playback runs silently
// against a real-time clock. FALSE when already started, for any other device
// number, or for 1 when the system has no default output device.
// NOLINTBEGIN(readability-identifier-naming): the vendor's exported names.
BASS_API BOOL WINAPI BASS_Init(int device, DWORD freq, DWORD flags, HWND win, const void* clsid);

// Stops and frees every stream, ends the library's threads and lets go of
// the device; until BASS_Init again, the other calls fail as before it.
// FALSE when BASS_Init has not succeeded since the last BASS_Free.
BASS_API BOOL WINAPI BASS_Free();

// Opens a file for playback and returns its handle, or 0 when the library is
// not started, the file cannot be read, neither its header nor decoding it
// whole gives its format and length, or a memory stream, an offset or a
// length is asked for. Of the flags only BASS_UNICODE and BASS_SAMPLE_LOOP
// have an effect.
BASS_API DWORD WINAPI BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags);

// Starts playback, or resumes it where it was paused, as BASS_ChannelPlay
// without restart; playback ends at the end of the stream. FALSE for an
// unknown handle.
BASS_API BOOL WINAPI BASS_ChannelStart(DWORD handle);

// Bytes of the stream played so far (of a looping stream, since the start of
// the current loop); all ones for an unknown handle or mode.
BASS_API QWORD WINAPI BASS_ChannelGetPosition(DWORD handle, DWORD mode);

// Bytes of the whole stream, whether or not it plays; all ones for an unknown
// handle or mode.
BASS_API QWORD WINAPI BASS_ChannelGetLength(DWORD handle, DWORD mode);

// Seconds for a byte count of the stream; -1 for an unknown handle.
BASS_API double WINAPI BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos);

// Bytes for a time of the stream, rounded down to a whole sample frame (the
// seconds BASS_ChannelBytes2Seconds gives for a frame convert back to it);
// all ones for an unknown handle or a negative time.
BASS_API QWORD WINAPI BASS_ChannelSeconds2Bytes(DWORD handle, double pos);

// Starts playback, or resumes it where it was paused; with `restart`, from
// the start. A stream that plays plays on. FALSE for an unknown handle.
BASS_API BOOL WINAPI BASS_ChannelPlay(DWORD handle, BOOL restart);

// Pauses playback: the position stands still and the sound stops until
// BASS_ChannelPlay. FALSE for an unknown handle, a stream that does not play
// (not started, or at its end), or one paused already.
BASS_API BOOL WINAPI BASS_ChannelPause(DWORD handle);

// Moves playback to `pos` bytes (BASS_POS_BYTE only), rounded down to a whole
// sample frame: the position reads it at once, and what is heard comes from
// there within one device buffer. Paused, it stays paused; a stream that
// ended stays stopped there until BASS_ChannelPlay or BASS_ChannelStart. Of
// a looping stream, within the pass it plays.
// FALSE for an unknown handle or mode, or a place at or past the end.
BASS_API BOOL WINAPI BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode);

// BASS_ACTIVE_PLAYING, _STALLED (waiting for decoding, as after a seek to
// music not decoded; not after one to music decoded already), _PAUSED, or
// _STOPPED: not started, at its end, stopped where a seek after its end sent
// it, or an unknown handle.
BASS_API DWORD WINAPI BASS_ChannelIsActive(DWORD handle);
// NOLINTEND(readability-identifier-naming)
