// The position of a stream that plays: what the program reads as its one
// clock. It runs on the real-time clock (the performance counter) at the rate
// the device's clock shows over seconds, and follows the device's readings by
// running a little faster or slower, not by jumping: a device that reports its
// position in coarse steps or late still gives a position that moves as real
// time does. It waits for a new device's first move and then steps forward to
// that reading once; it never goes back, never passes what was given to play,
// and stops when the device stops.
//
// Plain numbers in, a number out: frames, and times in microseconds on the
// performance counter. It makes no call and holds no lock; its owner guards it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

// The unit of the clock's times.
inline constexpr std::uint64_t kMicrosecondsPerSecond = 1'000'000;

class PlaybackClock {
public:
    explicit PlaybackClock(std::uint32_t framesPerSecond);

    // From `time` on, the position runs on real time from where it stands,
    // without a device.
    void RunFreely(std::uint64_t time);
    // From `time` on, the position follows a device's readings, from where it stands.
    void FollowDevice(std::uint64_t time);
    // The device played up to `frames` (counted as stream frames) at `time`.
    void AddReading(std::uint64_t frames, std::uint64_t time);
    // The position cannot pass `frames` (what was given to play) from `time`
    // on; up to then the limit before holds. A clock that stood at its limit
    // carries on from there, not from where time would have taken it.
    void Limit(std::uint64_t frames, std::uint64_t time);
    // The position at `time`, in whole frames: 0 before it runs, and never
    // less than it said before (but for a seek).
    std::uint64_t Position(std::uint64_t time);
    // From `time` on, the position stands exactly where it is, whatever the
    // device reads, until RunFreely or FollowDevice sets it going again.
    void Hold(std::uint64_t time);
    // The position is `frames` at `time`, ahead or back. Followed by a device,
    // it then waits for the device to move from there, as after FollowDevice;
    // held, it stays held; on real time it runs on from there at once.
    void SeekTo(std::uint64_t frames, std::uint64_t time);

private:
    enum class Mode { Standing, Free, Device, Held };

    struct Reading {
        double frames = 0;
        double time = 0;
    };

    void Advance(std::uint64_t time);
    double Target(double time) const;
    // The jobs of AddReading, in the order it does them.
    void NoteStall(const Reading& reading, bool moved);
    bool Believable(const Reading& reading) const;
    void TakeUpFirstMove(const Reading& reading);
    void Store(const Reading& reading);
    void Fit();
    const Reading& Stored(std::size_t index) const { return readings[(first + index) % kReadings]; }

    const double nominalRate;  // frames per microsecond
    Mode mode = Mode::Standing;
    double position = 0;  // frames, with the fraction
    std::uint64_t positionTime = 0;
    double limit = 0;
    std::uint64_t reported = 0;

    // The believed readings of the rate window, at least 8 ms apart but for
    // the newest, and the line through them.
    static constexpr std::size_t kReadings = 400;
    std::array<Reading, kReadings> readings{};
    std::size_t first = 0;
    std::size_t count = 0;
    Reading newestBelieved;  // or, before the device's first reading, where the position stood
    // The device's newest frames, believed or not; none before its first reading.
    std::optional<double> newestSeenFrames;
    bool moving = false;      // the device's position moved on since it started or last stopped
    double lastMoveTime = 0;  // when it last moved on
    double rate = 0;          // the device's rate over the readings, frames per microsecond
    // The newest believed reading, or a reading of the 250 ms before it
    // carried on at the rate to its time where that is higher: the line
    // passes through it.
    Reading leastLagging;
};
