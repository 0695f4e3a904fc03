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

// The music's length in seconds, asked of the audio library without playing
// it; none when the music cannot be opened.
std::optional<double> MusicSeconds();
