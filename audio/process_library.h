// The process's one audio library and its lifetime: made on first use, ended
// in the C runtime's exit, left as it is after the loader's last notice
// (DllMain, beside it).
#pragma once

#include "audio/audio_library.h"

// The library behind bass.dll's exported calls.
AudioLibrary& ProcessLibrary();
