#pragma once

#include <windows.h>

#include <optional>

// The music the scene follows, played and measured through the audio library.

// Starts the music from the beginning on the default device and returns its
// stream handle (0 when it could not be opened; the frame time then stays
// frozen). Played once, or looped: a library that cannot loop plays it once.
DWORD StartMusic(bool loop = false);

// Ends the audio library: the music stops and the library's threads and
// device are let go, so that nothing of it runs while the process ends.
void EndMusic();

// The frame time: the stream's playback position in seconds, in single precision.
float MusicTime(DWORD stream);

// The author's transport. The position in seconds, in double precision.
double MusicPosition(DWORD stream);
// The stream's length in seconds; 0 when unknown.
double MusicLength(DWORD stream);
// Moves the music to `seconds` (from 0 to its last sample frame), then pauses
// it or plays it on from there: a library that leaves a stream that ended
// stopped after a seek plays it again.
bool SeekMusic(DWORD stream, double seconds, bool paused);
bool PauseMusic(DWORD stream);
bool ResumeMusic(DWORD stream);

// The music's length in seconds, asked of the audio library without playing
// it; none when the music cannot be opened.
std::optional<double> MusicSeconds();
