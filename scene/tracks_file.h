#pragma once

#include "scene/tracks.h"

#include <string>

// A tracks file on disk, read whole.
struct TracksFile {
    enum class Outcome { Missing, Read, Refused };
    Outcome outcome;
    Tracks tracks;        // when Read
    std::string message;  // when Refused: names the file, and the line where the reader stopped
};

// Missing only when the file is not there (no such file or folder); any other
// failure to read it, and any refusal of the reader, is Refused.
TracksFile LoadTracksFile(const std::wstring& path);
