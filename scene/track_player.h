#pragma once

#include "scene/tracks.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// What the tracks say at one time: the frame's numbers that named tracks
// replace, and the free tracks' values for the shaders.
struct TrackValues {
    std::array<float, kNamedTrackCount> named{};
    std::uint32_t namedInForce = 0;  // bit i: named track i has a track
    // In the order the free tracks' lines come; the rest stay 0.
    std::array<float, kFreeTrackLimit> free{};

    bool Has(NamedTrack track) const { return ((namedInForce >> static_cast<unsigned>(track)) & 1u) != 0; }
    // The track's value where there is one, else the frame's own number.
    float Or(NamedTrack track, float own) const { return Has(track) ? named[static_cast<std::size_t>(track)] : own; }
};

// Plays tracks as the music's time goes: each track remembers the key it was
// at, so that playing on finds the next key in constant time, and a jump
// elsewhere finds it by halving.
class TrackPlayer {
public:
    // Replaces the tracks in force; empty Tracks{} is no tracks at all.
    void Use(Tracks tracks);
    std::size_t Count() const { return inForce.size(); }

    // The values at time t (seconds of music).
    const TrackValues& ValuesAt(float t);

private:
    struct Playing {
        std::vector<TrackKey> keys;
        std::size_t cursor = 0;  // the key last played from
        bool named = false;
        std::size_t slot = 0;  // in TrackValues::named or ::free
    };

    TrackValues values;
    std::vector<Playing> inForce;
};

// The index of the key whose stretch holds t: the last key at or before t,
// or the first key when t is before it. Looks at the cursor and its next key
// first, then halves.
std::size_t FindKey(const std::vector<TrackKey>& keys, std::size_t cursor, double t);

// A track's value at time t from the key whose stretch holds t.
float ValueAt(const std::vector<TrackKey>& keys, std::size_t key, double t);
