// Any tracks file, read as the programs read shaders/tracks.txt. A refusal
// names the file and a line; tracks that read well hold to the file's rules
// and, written out, read back the same, key for key.
//
// Input: the file's bytes.
#include "fuzz/fuzz_check.h"
#include "scene/tracks.h"

#include <cmath>
#include <cstdint>
#include <string_view>

namespace {

bool SameTracks(const Tracks& a, const Tracks& b)
{
    if (a.Count() != b.Count()) {
        return false;
    }
    for (std::size_t i = 0; i < a.Count(); ++i) {
        const Track& x = a.tracks[i];
        const Track& y = b.tracks[i];
        if (x.name != y.name || x.keys.size() != y.keys.size()) {
            return false;
        }
        for (std::size_t k = 0; k < x.keys.size(); ++k) {
            if (x.keys[k].time != y.keys[k].time || x.keys[k].value != y.keys[k].value ||
                x.keys[k].how != y.keys[k].how) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const TracksRead read = ReadTracks(text, "tracks.txt");
    if (!read.tracks) {
        Require(read.error.starts_with("tracks.txt:") && read.error.size() < 200,
                "a refusal names the file, and is short");
        return 0;
    }
    Require(read.error.empty(), "tracks that read well come with no error");
    std::size_t keys = 0;
    std::size_t free = 0;
    for (const Track& track : read.tracks->tracks) {
        Require(!track.keys.empty() && !track.name.empty() && track.name.size() <= kTrackNameByteLimit,
                "a track has a name and keys");
        free += NamedTrackOf(track.name) ? 0 : 1;
        for (std::size_t k = 0; k < track.keys.size(); ++k) {
            const TrackKey& key = track.keys[k];
            Require(std::isfinite(key.time) && key.time >= 0.0 && std::isfinite(key.value),
                    "a key's time and value are finite, its time not negative");
            Require(k == 0 || track.keys[k - 1].time < key.time, "a track's times increase");
        }
        keys += track.keys.size();
    }
    Require(free <= kFreeTrackLimit && keys <= kKeyLimit, "the limits hold");

    const TracksRead again = ReadTracks(WriteTracks(*read.tracks), "again.txt");
    Require(again.tracks && SameTracks(*read.tracks, *again.tracks), "written out, the tracks read back the same");
    return 0;
}
