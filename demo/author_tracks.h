// The tracks in the author's folder while the author's mode runs: read at the
// session's start, and again on every save of tracks.txt. A file that reads
// well is in force from the next frame. A refusal, or the file gone, is acted
// on once the file has stood still a moment, so that an editor's save in two
// steps shows nothing in passing: a refusal keeps the tracks in force and is
// told (its first line, in the title and on standard error), a file gone puts
// the frame's own numbers back.
#pragma once

#include "scene/track_player.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>

class AuthorTracks {
public:
    explicit AuthorTracks(const std::wstring& folder);

    // `saved`: the names of the files in the folder saved since the last call.
    void Poll(std::uint64_t nowMs, const std::set<std::wstring>& saved, TrackPlayer& player);

    // The refusal standing; "" when there is none.
    const std::string& Error() const { return error; }
    // How many files were taken so far (for the benchmark): a count that only grows.
    std::uint64_t Taken() const { return taken; }

private:
    void Load(std::uint64_t nowMs, bool settled, TrackPlayer& player);

    const std::wstring path;
    bool started = false;
    std::optional<std::uint64_t> settleAtMs;  // a refusal or a file gone, to look at again then
    std::string error;
    std::uint64_t taken = 0;
};
