#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Tracks: values keyed to the music's time, read from a text file. A named
// track replaces one number the frame computes; any other name is a free
// track, handed to the shaders.

// How a key's value goes on to the next key's: with x the fraction of the
// way, step keeps the key's value, linear takes x, smooth x·x·(3 − 2x) and
// ramp x·x.
enum class KeyHow : std::uint8_t { Step, Linear, Smooth, Ramp };

struct TrackKey {
    double time;  // seconds of music
    float value;  // used in single precision, as the frame uses its own numbers
    KeyHow how;
};

struct Track {
    std::string name;
    std::vector<TrackKey> keys;  // at least one, times increasing
};

// What a tracks file said: its tracks in the order their `track` lines come.
struct Tracks {
    std::vector<Track> tracks;

    std::size_t Count() const { return tracks.size(); }
};

// The numbers of the frame a track may replace, in the order of kNamedTracks.
enum class NamedTrack : std::uint8_t {
    ClearR,
    ClearG,
    ClearB,
    CameraX,
    CameraY,
    CameraZ,
    CubeX,
    CubeY,
    CubeZ,
    CubeYaw,
    CubePitch,
    PyramidsSpin,
    Time,
};

inline constexpr std::size_t kNamedTrackCount = 13;
inline constexpr std::array<std::string_view, kNamedTrackCount> kNamedTracks = {
    "clear.r", "clear.g", "clear.b",  "camera.x",   "camera.y",      "camera.z", "cube.x",
    "cube.y",  "cube.z",  "cube.yaw", "cube.pitch", "pyramids.spin", "time",
};

// The file's limits: anything beyond them is refused, not cut short.
inline constexpr std::size_t kFreeTrackLimit = 16;
inline constexpr std::size_t kKeyLimit = 100'000;
inline constexpr std::size_t kLineByteLimit = 4096;
inline constexpr std::size_t kTracksFileByteLimit = std::size_t{4} << 20;
inline constexpr std::size_t kTrackNameByteLimit = 64;

// The named track of this name, if it is one.
std::optional<NamedTrack> NamedTrackOf(std::string_view name);

struct TracksRead {
    std::optional<Tracks> tracks;  // only when the whole text read well
    std::string error;             // otherwise the whole message: "tracks.txt:12: ..."
};

// Reads a tracks file's text (UTF-8, a byte-order mark allowed). A refusal
// names fileName and the line, and takes nothing of the text.
TracksRead ReadTracks(std::string_view text, std::string_view fileName);

// The text of a tracks file that reads back as these tracks, key for key.
std::string WriteTracks(const Tracks& tracks);
