// Whether to keep the display and the system on: while the picture plays.
// Free of platform calls; the engine tells Windows what it decides.
#pragma once

#include <cstdint>
#include <optional>

// How long the music's position may stand still (ended, never started)
// before the screen saver and the power plan are let be again.
inline constexpr std::uint64_t kStillBeforeSleepMs = 3000;

class KeepAwakeDecision {
public:
    // Given the music's position, whether the window is on screen and a
    // steady clock in milliseconds: keep the display awake now? Until the
    // position has stood still for kStillBeforeSleepMs it counts as playing,
    // also just after the start, while the music is still being opened.
    bool Update(float position, bool shown, std::uint64_t nowMs);

private:
    std::optional<float> lastPosition;
    std::uint64_t lastMoved = 0;
};
