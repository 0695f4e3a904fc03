#include "audio/playback_clock.h"

#include <algorithm>
#include <cmath>

namespace {

// The store keeps readings at least this far apart, the newest apart, so
// that a device read often still fills it over the whole rate window.
constexpr double kReadingSpacingUs = 8'000;
// The device's rate is measured over at most this long, and believed only
// once the readings span the shorter time: over less, a clock that moves in
// steps says little about its rate.
constexpr double kRateWindowUs = 3'000'000;
constexpr double kRateSpanUs = 1'000'000;
// Where the device stands now is taken from the readings of this last
// stretch: long enough to hold one read soon after a step of a coarse clock.
constexpr double kOffsetWindowUs = 250'000;
// A real device's clock differs from the performance counter by far less;
// a measured rate beyond this is a fault of the readings.
constexpr double kMaxRateDeviation = 0.01;
// How fast the position closes the gap to the device's readings: the gap at
// a read is closed over this time, and the position never runs more than
// kSlew faster or slower than the device's rate doing so. At 60 frames per
// second that changes one frame's step by at most 0.8 ms.
constexpr double kCorrectionUs = 300'000;
constexpr double kSlew = 0.05;
// How far the position may run past the device's newest reading carried on
// to now while it moves: more than the steps of a coarse device clock, and so
// the most it runs on once the device stops. Until it first moves, and once
// it stopped, the position waits for it.
constexpr double kLeadUs = 30'000;
// How far a device's reading may run ahead of what it can have played and
// still be believed: more than the jitter of a real device's clock, less than
// what a null device swallows at its start beyond real time (Wine's ALSA one:
// 27 ms).
constexpr double kBelievedLeadUs = 20'000;
// A device whose position has not moved for this long has stopped; its
// readings so far say nothing about its rate once it moves again.
constexpr double kStallUs = 100'000;

}  // namespace

PlaybackClock::PlaybackClock(std::uint32_t framesPerSecond)
    : nominalRate(static_cast<double>(framesPerSecond) / static_cast<double>(kMicrosecondsPerSecond)), rate(nominalRate)
{
}

void PlaybackClock::RunFreely(std::uint64_t time)
{
    Advance(time);
    mode = Mode::Free;
}

void PlaybackClock::FollowDevice(std::uint64_t time)
{
    Advance(time);
    mode = Mode::Device;
    newestBelieved = {.frames = position, .time = static_cast<double>(positionTime)};
    // No reading of the new device yet: it starts at the whole frame at or
    // before the position, which ran on in real time with a fraction.
    newestSeenFrames.reset();
    count = 0;
    moving = false;
    rate = nominalRate;
}

void PlaybackClock::AddReading(std::uint64_t frames, std::uint64_t time)
{
    if (mode != Mode::Device) {
        return;
    }
    const Reading reading{.frames = static_cast<double>(frames), .time = static_cast<double>(time)};
    // A new device has moved once its first reading passes where the position stood for it.
    const bool moved = newestSeenFrames ? reading.frames != *newestSeenFrames : reading.frames > newestBelieved.frames;
    newestSeenFrames = reading.frames;
    NoteStall(reading, moved);
    if (!Believable(reading)) {
        // A device that swallows data without playing it, as a null device
        // does: while it moves, the position runs on real time.
        moving = moving || moved;
        return;
    }
    if (moved && !moving) {
        TakeUpFirstMove(reading);
    }
    moving = moving || moved;
    newestBelieved = reading;
    Store(reading);
    Fit();
}

// A device that has not moved for a while has stopped; the position waits
// for it from then on.
void PlaybackClock::NoteStall(const Reading& reading, bool moved)
{
    if (moved) {
        lastMoveTime = reading.time;
    } else if (moving && reading.time - lastMoveTime > kStallUs) {
        moving = false;
    }
}

// Whether a reading runs ahead of what the device can have played by no more
// than a real device's clock may. While it moves, that is the position carried
// on to the reading's time; while it stands, where it was last seen standing
// carried on to then, so that a coarse clock's first step is believed however
// long the position stood since it was last read.
bool PlaybackClock::Believable(const Reading& reading) const
{
    const Reading from =
        moving ? Reading{.frames = position, .time = static_cast<double>(positionTime)} : newestBelieved;
    const double elapsed = std::max(0.0, reading.time - from.time);
    return reading.frames <= from.frames + rate * elapsed + nominalRate * kBelievedLeadUs;
}

// The device moves for the first time since it started or stopped: the
// position, which waited for it, takes it up from here, and what it read
// while it stood says nothing about its rate.
void PlaybackClock::TakeUpFirstMove(const Reading& reading)
{
    count = 0;
    const double now = static_cast<double>(positionTime);
    position = std::max(position, std::min(reading.frames + rate * (now - reading.time), limit));
}

// Keeps the reading as the newest of the store. The newest before it gives
// way to it unless that was the spacing after the one before, so that the
// store always ends with the newest reading and still spans the rate window.
void PlaybackClock::Store(const Reading& reading)
{
    static_assert(kReadings * kReadingSpacingUs > kRateWindowUs + 2 * kReadingSpacingUs);
    if (count >= 2 && Stored(count - 1).time - Stored(count - 2).time < kReadingSpacingUs) {
        --count;
    }
    if (count == kReadings) {
        first = (first + 1) % kReadings;
        --count;
    }
    readings[(first + count) % kReadings] = reading;
    ++count;
    while (reading.time - readings[first].time > kRateWindowUs) {
        first = (first + 1) % kReadings;
        --count;
    }
}

// The line through the readings: at the device's rate measured over all of
// them once they span long enough, through the reading that lags least of
// the newest, so that a change of pace (a device that starts slowly) soon
// stops pulling it aside.
void PlaybackClock::Fit()
{
    Reading mean;
    for (std::size_t i = 0; i < count; ++i) {
        mean.frames += Stored(i).frames;
        mean.time += Stored(i).time;
    }
    mean.frames /= static_cast<double>(count);
    mean.time /= static_cast<double>(count);
    rate = nominalRate;
    if (newestBelieved.time - Stored(0).time >= kRateSpanUs) {
        double covariance = 0;
        double variance = 0;
        for (std::size_t i = 0; i < count; ++i) {
            covariance += (Stored(i).time - mean.time) * (Stored(i).frames - mean.frames);
            variance += (Stored(i).time - mean.time) * (Stored(i).time - mean.time);
        }
        if (variance > 0) {
            rate = std::clamp(covariance / variance, nominalRate * (1 - kMaxRateDeviation),
                              nominalRate * (1 + kMaxRateDeviation));
        }
    }
    // A clock that moves in steps lags by up to a step between them; read
    // soon after a step it lags least.
    leastLagging = newestBelieved;
    for (std::size_t i = count; i-- > 0 && newestBelieved.time - Stored(i).time <= kOffsetWindowUs;) {
        leastLagging.frames =
            std::max(leastLagging.frames, Stored(i).frames + rate * (newestBelieved.time - Stored(i).time));
    }
}

double PlaybackClock::Target(double time) const
{
    return leastLagging.frames + rate * (time - leastLagging.time);
}

void PlaybackClock::Limit(std::uint64_t frames, std::uint64_t time)
{
    Advance(time);
    limit = static_cast<double>(frames);
}

std::uint64_t PlaybackClock::Position(std::uint64_t time)
{
    Advance(time);
    // Rounding of the sums must not cost a whole frame.
    reported = std::max(reported, static_cast<std::uint64_t>(std::floor(position + 1e-6)));
    return reported;
}

void PlaybackClock::Advance(std::uint64_t time)
{
    if (mode == Mode::Standing || mode == Mode::Held || time <= positionTime) {
        positionTime = std::max(positionTime, time);
        return;
    }
    const double now = static_cast<double>(time);
    const double elapsed = static_cast<double>(time - positionTime);
    double next = position + nominalRate * elapsed;
    if (mode == Mode::Device && !moving) {
        next = newestBelieved.frames;
    } else if (mode == Mode::Device && count > 0) {
        const double predicted = position + rate * elapsed;
        const double most = kSlew * rate * elapsed;
        const double gap = Target(now) - predicted;
        next = predicted + std::clamp(gap * std::min(1.0, elapsed / kCorrectionUs), -most, most);
        next = std::min(next, newestBelieved.frames + rate * (now - newestBelieved.time + kLeadUs));
    }
    position = std::max(position, std::min(next, limit));
    positionTime = time;
}

void PlaybackClock::Hold(std::uint64_t time)
{
    Advance(time);
    mode = Mode::Held;
}

void PlaybackClock::SeekTo(std::uint64_t frames, std::uint64_t time)
{
    Advance(time);
    position = static_cast<double>(frames);
    reported = frames;
    if (mode == Mode::Device) {
        // The device's readings so far were of the place before: it is
        // followed again from the new place once it moves.
        FollowDevice(time);
    }
}
