#pragma once

#include "scene/track_player.h"
#include "scene/tracks.h"

#include <optional>
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

// At start: the player plays the file's tracks when it reads well, and none
// when it is missing; a refusal leaves the player as it was and comes back.
[[nodiscard]] std::optional<std::string> UseTracksFile(TrackPlayer& player, const std::wstring& path);
