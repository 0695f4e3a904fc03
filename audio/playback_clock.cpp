#include "audio/playback_clock.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kMicrosecondsPerSecond = 1e6;
// Readings closer together than this replace one another, so that the store
// spans seconds whatever the device's period.
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
// How far a device's reading may run ahead of the position and still be
// believed: more than the jitter of a real device's clock, less than one buffer.
constexpr double kBelievedLeadUs = 20'000;
// How far the position may run past the device's newest reading carried on
// to now while it moves: more than the steps of a coarse device clock, and so
// the most it runs on once the device stops. Until it first moves, and once
// it stopped, the position waits for it.
constexpr double kLeadUs = 30'000;
// A device whose position has not moved for this long has stopped; its
// readings so far say nothing about its rate once it moves again.
constexpr double kStallUs = 100'000;

}  // namespace

PlaybackClock::PlaybackClock(std::uint32_t framesPerSecond)
    : nominalRate(static_cast<double>(framesPerSecond) / kMicrosecondsPerSecond), rate(nominalRate)
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
    latest = {.frames = position, .time = static_cast<double>(positionTime)};
    lastFrames = position;
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
    const bool starts = reading.frames != lastFrames && !moving;
    if (reading.frames != lastFrames) {
        moving = true;
        latestAdvance = reading.time;
    } else if (moving && reading.time - latestAdvance > kStallUs) {
        moving = false;
    }
    lastFrames = reading.frames;
    // A device whose clock runs ahead of the position by more than a real
    // device's jitter swallows data without playing it, as a null device does.
    const double elapsed = std::max(0.0, reading.time - static_cast<double>(positionTime));
    if (reading.frames > position + rate * elapsed + nominalRate * kBelievedLeadUs) {
        return;
    }
    latest = reading;
    if (starts) {
        // It moves for the first time since it started or stopped: the
        // position, which waited for it, takes it up from here.
        count = 0;
        const double now = static_cast<double>(positionTime);
        position = std::max(position, std::min(reading.frames + rate * (now - reading.time), limit));
    }
    if (count > 0 && reading.time - readings[(first + count - 1) % kReadings].time < kReadingSpacingUs) {
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
    Fit();
}

// The line through the readings: at the device's rate measured over all of
// them once they span long enough, through the mean of the newest, so that a
// change of pace (a device that starts slowly) soon stops pulling it aside.
void PlaybackClock::Fit()
{
    const auto at = [this](std::size_t i) -> const Reading& { return readings[(first + i) % kReadings]; };
    Reading mean;
    for (std::size_t i = 0; i < count; ++i) {
        mean.frames += at(i).frames;
        mean.time += at(i).time;
    }
    mean.frames /= static_cast<double>(count);
    mean.time /= static_cast<double>(count);
    rate = nominalRate;
    if (latest.time - at(0).time >= kRateSpanUs) {
        double covariance = 0;
        double variance = 0;
        for (std::size_t i = 0; i < count; ++i) {
            covariance += (at(i).time - mean.time) * (at(i).frames - mean.frames);
            variance += (at(i).time - mean.time) * (at(i).time - mean.time);
        }
        if (variance > 0) {
            rate = std::clamp(covariance / variance, nominalRate * (1 - kMaxRateDeviation),
                              nominalRate * (1 + kMaxRateDeviation));
        }
    }
    // A clock that moves in steps lags by up to a step between them; read
    // soon after a step it lags least.
    centre = latest;
    for (std::size_t i = count; i-- > 0 && latest.time - at(i).time <= kOffsetWindowUs;) {
        centre.frames = std::max(centre.frames, at(i).frames + rate * (latest.time - at(i).time));
    }
}

double PlaybackClock::Target(double time) const
{
    return centre.frames + rate * (time - centre.time);
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
        next = latest.frames;
    } else if (mode == Mode::Device && count > 0) {
        const double predicted = position + rate * elapsed;
        const double most = kSlew * rate * elapsed;
        const double gap = Target(now) - predicted;
        next = predicted + std::clamp(gap * std::min(1.0, elapsed / kCorrectionUs), -most, most);
        next = std::min(next, latest.frames + rate * (now - latest.time + kLeadUs));
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
