// The position's clock alone, fed simulated devices' readings.
#include "audio/playback_clock.h"
#include "tests/audio/playback_fakes.h"

#include <gtest/gtest.h>
#include <cstdint>
#include <random>
#include <vector>

namespace {

// A simulated device followed by the clock for 5 s, the clock read every
// `readUs`. The device's clock shows what it played in steps of `stepUs`,
// each up to 2 ms early or late, and is read by the feeding thread about
// every `feedUs` from `firstFeedUs` on. It plays at `speed` times real time,
// and not at all from `stallFrom` to `stallTo`.
struct DeviceRun {
    std::uint64_t stepUs = 10'000;
    std::uint64_t readUs = 4'000;
    double speed = 1.0;
    std::uint64_t feedUs = 10'000;
    std::uint64_t firstFeedUs = 0;
    std::uint64_t stallFrom = UINT64_MAX;
    std::uint64_t stallTo = UINT64_MAX;
    std::uint64_t swallowedUs = 0;  // what the device takes at once and reports as played
};
struct ClockRun {
    std::vector<std::uint64_t> times;  // microseconds from the start
    std::vector<double> positions;     // the clock's, in ms
    std::vector<double> played;        // what the device truly played, in ms
};
ClockRun FollowStepping(const DeviceRun& device)
{
    constexpr double kFramesPerMs = 44.1;
    std::mt19937 random(1);
    std::uniform_int_distribution<std::uint64_t> jitter(0, 4'000);
    const auto playedAt = [&](std::uint64_t t) {
        const std::uint64_t stalled = t > device.stallFrom ? std::min(t, device.stallTo) - device.stallFrom : 0;
        return device.speed * static_cast<double>(t - stalled) / 1000;
    };
    PlaybackClock clock(44100);
    clock.FollowDevice(kSecond);
    clock.Limit(UINT64_MAX / 2, kSecond);
    ClockRun run;
    std::uint64_t shown = 0;
    std::uint64_t nextStep = device.stepUs - 2'000 + jitter(random);
    std::uint64_t nextFeed = device.firstFeedUs;
    for (std::uint64_t t = 0; t <= 5 * kSecond; t += 1) {
        if (t == nextStep) {
            shown = static_cast<std::uint64_t>((playedAt(t) + static_cast<double>(device.swallowedUs) / 1000) *
                                               kFramesPerMs);
            nextStep = (t + 2'000) / device.stepUs * device.stepUs + device.stepUs - 2'000 + jitter(random);
        }
        if (t == nextFeed) {
            clock.AddReading(shown, kSecond + t);
            nextFeed = t + device.feedUs + jitter(random) / 2;
        }
        if (t % device.readUs == 0) {
            run.times.push_back(t);
            run.positions.push_back(static_cast<double>(clock.Position(kSecond + t)) / kFramesPerMs);
            run.played.push_back(playedAt(t));
        }
    }
    return run;
}

// A device clock that moves in coarse steps, or runs 0.5 % fast or slow, is
// followed at real time's pace: from the first move on, each read's step is
// the time since the last read within 0.3 ms (0.14 ms at most is seen), and
// the position keeps within 2 ms of what was played, also when the feeding
// thread reads the device far more often than the clock is read. A device
// first read only after it played further than a coarse clock's step is
// followed as well. A device that stops stops the clock, which then waits
// for it without going back. A device that swallows a buffer at once is
// followed at real time's pace instead.
TEST(PlaybackClock, FollowsADeviceSmoothlyAndStopsWithIt)
{
    for (const DeviceRun device :
         {DeviceRun{}, DeviceRun{.stepUs = 20'000, .readUs = 16'667}, DeviceRun{.stepUs = 20'000},
          DeviceRun{.speed = 1.005}, DeviceRun{.readUs = 16'667, .speed = 0.995},
          DeviceRun{.readUs = 16'667, .speed = 1.005, .feedUs = 3'000}}) {
        const ClockRun run = FollowStepping(device);
        std::size_t moved = 1;
        while (run.positions[moved - 1] == 0) {
            ++moved;
        }
        EXPECT_LT(run.times[moved], 100 * kMs);
        for (std::size_t i = moved + 1; i < run.times.size(); ++i) {
            const double step = run.positions[i] - run.positions[i - 1];
            ASSERT_NEAR(step, static_cast<double>(device.readUs) / 1000, 0.3)
                << device.stepUs << " at " << run.times[i];
        }
        EXPECT_NEAR(run.positions.back(), run.played.back(), 2.0) << device.stepUs << " speed " << device.speed;
    }

    const ClockRun late = FollowStepping({.stepUs = 1'000, .firstFeedUs = 30'000});
    EXPECT_NEAR(late.positions.back(), late.played.back(), 2.0);

    const ClockRun stalled = FollowStepping({.stallFrom = 1 * kSecond, .stallTo = 2 * kSecond});
    for (std::size_t i = 1; i < stalled.times.size(); ++i) {
        ASSERT_GE(stalled.positions[i], stalled.positions[i - 1]);
        if (stalled.times[i] >= 1200 * kMs && stalled.times[i] <= 2 * kSecond) {
            ASSERT_EQ(stalled.positions[i], stalled.positions[i - 1]) << "at " << stalled.times[i];
            ASSERT_LE(stalled.positions[i], 1000 + 45.0);
        }
    }
    EXPECT_NEAR(stalled.positions.back(), stalled.played.back(), 2.0);

    // A device that reports a buffer played the moment it takes it, as a null
    // device does, is not chased: the position runs on real time from its
    // first move, never ahead of what was played.
    const ClockRun swallowing = FollowStepping({.swallowedUs = 100'000});
    for (std::size_t i = 0; i < swallowing.times.size(); ++i) {
        ASSERT_LE(swallowing.positions[i], swallowing.played[i] + 1.0) << "at " << swallowing.times[i];
    }
    EXPECT_NEAR(swallowing.positions.back(), swallowing.played.back(), 30.0);
}

// After a change of device the position stands where the real-time clock
// took it, a fraction of a frame past what the new device starts from, until
// that device first moves; then it follows it.
TEST(PlaybackClock, WaitsForANewDevicesFirstMove)
{
    PlaybackClock clock(44100);
    clock.Limit(UINT64_MAX / 2, kSecond);
    clock.RunFreely(kSecond);
    const std::uint64_t change = kSecond + 500 * kMs + 17;
    const std::uint64_t start = clock.Position(change);
    clock.FollowDevice(change);
    for (std::uint64_t t = change; t < change + 200 * kMs; t += kMs) {
        if ((t - change) % (10 * kMs) == 0) {
            clock.AddReading(start, t);
        }
        ASSERT_LE(clock.Position(t), start + 1) << "at " << t - change;
    }
    const std::uint64_t moves = change + 200 * kMs;
    for (std::uint64_t t = moves; t <= moves + kSecond; t += kMs) {
        if ((t - moves) % (10 * kMs) == 0) {
            clock.AddReading(start + (t - moves) * 441 / 10'000, t);
        }
    }
    EXPECT_NEAR(static_cast<double>(clock.Position(moves + kSecond)), static_cast<double>(start + 44100), 44.1);
}

// Starved of data, the clock stands where the data ends, and carries on from
// there once it gets more, not from where the time waited would have taken it.
// Held, it stands exactly; sought, back or ahead, it reads the new place at
// once and runs on from there; following a device, it waits there until the
// device moves.
TEST(PlaybackClock, HoldsAndSeeksExactly)
{
    PlaybackClock clock(44100);
    clock.Limit(10'000'000, 0);
    clock.RunFreely(0);
    EXPECT_EQ(clock.Position(100 * kMs), 4410u);
    clock.Hold(200 * kMs);  // where the time has taken it since the last reading
    EXPECT_EQ(clock.Position(900 * kMs), 8820u);
    clock.SeekTo(100, 900 * kMs);  // back, while held: it stays held
    EXPECT_EQ(clock.Position(1900 * kMs), 100u);
    clock.RunFreely(1900 * kMs);
    EXPECT_EQ(clock.Position(2000 * kMs), 4510u);
    clock.SeekTo(88200, 2000 * kMs);  // ahead
    EXPECT_EQ(clock.Position(2000 * kMs), 88200u);
    EXPECT_EQ(clock.Position(2100 * kMs), 92610u);

    clock.FollowDevice(2100 * kMs);
    for (std::uint64_t t = 2100 * kMs; t <= 2500 * kMs; t += 10 * kMs) {
        clock.AddReading(92610 + (t - 2100 * kMs) * 441 / 10'000, t);
    }
    EXPECT_NEAR(static_cast<double>(clock.Position(2500 * kMs)), 110'250, 50);
    clock.SeekTo(1000, 2500 * kMs);
    clock.AddReading(1000, 2510 * kMs);
    EXPECT_EQ(clock.Position(2600 * kMs), 1000u);  // the device has not moved from there yet
    clock.AddReading(1441, 2610 * kMs);
    const std::uint64_t moved = clock.Position(2620 * kMs);
    EXPECT_GE(moved, 1441u);
    EXPECT_LE(moved, 1441u + 441 + 1323);  // no more than its own lead past the device
    clock.Hold(2620 * kMs);
    clock.AddReading(5000, 2700 * kMs);  // a device stopping late
    EXPECT_EQ(clock.Position(3000 * kMs), moved);
}

TEST(PlaybackClock, StarvedCarriesOnFromWhereItStood)
{
    PlaybackClock clock(1000);  // a frame a millisecond
    clock.Limit(300, kSecond);
    clock.RunFreely(kSecond);
    EXPECT_EQ(clock.Position(kSecond + 500 * kMs), 300u);
    clock.Limit(2000, 2 * kSecond);
    EXPECT_EQ(clock.Position(2 * kSecond + 100 * kMs), 400u);
}

}  // namespace
