#include "scene/track_player.h"

#include <algorithm>

namespace {

// Whether key k's stretch holds t: from its time (the first key's from the
// start) up to the next key's time (the last key's for ever).
bool Holds(const std::vector<TrackKey>& keys, std::size_t k, double t)
{
    return (k == 0 || keys[k].time <= t) && (k + 1 == keys.size() || t < keys[k + 1].time);
}

double Shaped(KeyHow how, double x)
{
    switch (how) {
    case KeyHow::Linear:
        return x;
    case KeyHow::Smooth:
        return x * x * (3.0 - 2.0 * x);
    case KeyHow::Ramp:
        return x * x;
    default:
        return 0.0;
    }
}

}  // namespace

std::size_t FindKey(const std::vector<TrackKey>& keys, std::size_t cursor, double t)
{
    if (cursor < keys.size() && Holds(keys, cursor, t)) {
        return cursor;
    }
    if (cursor + 1 < keys.size() && Holds(keys, cursor + 1, t)) {
        return cursor + 1;
    }
    const auto after =
        std::upper_bound(keys.begin(), keys.end(), t, [](double time, const TrackKey& key) { return time < key.time; });
    return after == keys.begin() ? 0 : static_cast<std::size_t>(after - keys.begin()) - 1;
}

float ValueAt(const std::vector<TrackKey>& keys, std::size_t key, double t)
{
    const TrackKey& from = keys[key];
    if (key + 1 == keys.size() || !(t > from.time) || from.how == KeyHow::Step) {
        return from.value;
    }
    const TrackKey& to = keys[key + 1];
    const double x = (t - from.time) / (to.time - from.time);
    const double value = from.value + (static_cast<double>(to.value) - from.value) * Shaped(from.how, x);
    return static_cast<float>(value);
}

void TrackPlayer::Use(Tracks tracks)
{
    values = TrackValues{};
    inForce.clear();
    std::size_t freeSlot = 0;
    for (Track& track : tracks.tracks) {
        Playing playing{std::move(track.keys)};
        if (const std::optional<NamedTrack> named = NamedTrackOf(track.name)) {
            playing.named = true;
            playing.slot = static_cast<std::size_t>(*named);
        } else {
            playing.slot = freeSlot++;
        }
        // The reader's Tracks never hold a track without keys; a hand-made one
        // is left out rather than read past its end.
        if (!playing.keys.empty() && playing.slot < kFreeTrackLimit) {
            if (playing.named) {
                values.namedInForce |= 1u << playing.slot;
            }
            inForce.push_back(std::move(playing));
        }
    }
}

const TrackValues& TrackPlayer::ValuesAt(float t)
{
    for (Playing& track : inForce) {
        track.cursor = FindKey(track.keys, track.cursor, t);
        const float value = ValueAt(track.keys, track.cursor, t);
        float* const slots = track.named ? values.named.data() : values.free.data();
        slots[track.slot] = value;
    }
    return values;
}
