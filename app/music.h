#pragma once

#include <windows.h>

// Starts "music.mp3" once from the beginning and returns its stream handle
// (0 when it could not be opened; the frame time then stays frozen).
DWORD StartMusic();

// The frame time: the stream's playback position in seconds, in single precision.
float MusicTime(DWORD stream);
