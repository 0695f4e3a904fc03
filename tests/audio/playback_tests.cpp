// A stream's rules as its callers see them, through Playback with the stand-in
// clock and devices: the silent clock, seeking, pausing and resuming, its end.
#include "audio/playback.h"
#include "tests/audio/playback_fakes.h"

#include <gtest/gtest.h>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;

// The real-time clock stands in for a device when none is asked for, when
// none can be opened, and when the system has no decoder for the file (its
// header still tells its length). It runs from 0, not from what has been
// decoded ahead, and stops at the end.
TEST(Playback, SilentClockRunsFromZeroAndStopsAtTheEnd)
{
    const auto tone = Tone(22050, 1, 6.0);  // longer than what is decoded ahead
    struct Case {
        const char* name;
        AudioOutput output;
        bool withDevice;
        bool decoder;
    };
    for (const Case c : {Case{"no device asked for", AudioOutput::Silent, false, true},
                         Case{"no device there", AudioOutput::DefaultDevice, false, true},
                         Case{"no decoder", AudioOutput::DefaultDevice, true, false}}) {
        TestClock clock;
        auto log = std::make_shared<DeviceLog>();
        const SourceOpener open = c.decoder ? OpenTone(tone) : [] { return OpenedSource{.noDecoder = true}; };
        Playback playback(open, InfoOf(*tone), c.output,
                          c.withDevice ? FakeDevices(log, clock) : DeviceOpener(OpenNoDevice), clock.Reader());
        if (c.decoder) {
            ASSERT_TRUE(WaitFor([&] { return playback.HeldBytes() >= 4 * 44100u; })) << c.name;
        }
        EXPECT_EQ(playback.PlayedBytes(), 0u);
        playback.Start();
        ASSERT_TRUE(WaitFor([&] { return playback.ClockInUse() == PositionClock::RealTime; })) << c.name;
        EXPECT_EQ(playback.PlayedBytes(), 0u) << c.name;
        clock.Advance(200 * kMs);
        EXPECT_EQ(playback.PlayedBytes(), 8820u) << c.name;
        EXPECT_FALSE(playback.Finished());

        const std::uint64_t took = FollowToTheEnd(playback, clock, *log);
        EXPECT_GE(took, 5800 * kMs) << c.name;
        EXPECT_LE(took, 5850 * kMs) << c.name;
        ExpectStaysAt(playback, clock, tone->bytes.size(), *log);
        EXPECT_EQ(playback.ClockInUse(), PositionClock::RealTime);
    }
}

// Seeks ahead within what is held, and back into what is kept of what was
// heard (the source not opened again): the position reads the new place at
// once and never a time before it, and the device drops what it held and is fed from there. Paused, the
// position stands exactly still and the device stops; a seek while paused
// stays paused; resumed, both go on. On a device that took over from a lost
// one, and on the real-time clock.
TEST(Playback, SeeksPausesAndResumes)
{
    const auto piece = Numbered(44100, 8.0);
    for (const bool withDevice : {true, false}) {
        TestClock clock;
        auto log = std::make_shared<DeviceLog>();
        auto opened = std::make_shared<std::atomic<int>>(0);
        const SourceOpener openPiece = OpenTone(piece);
        Playback playback(
            [=] {
                ++*opened;
                return openPiece();
            },
            InfoOf(*piece), withDevice ? AudioOutput::DefaultDevice : AudioOutput::Silent,
            FakeDevices(log, clock, {.clockFailsAfter = 300 * kMs}, 2), clock.Reader());
        EXPECT_EQ(playback.Status(), Playback::Activity::Stopped);
        EXPECT_FALSE(playback.Pause());  // not started
        playback.Start();
        ASSERT_TRUE(WaitFor([&] { return playback.ClockInUse() != PositionClock::None; }));
        const auto stepFrom = [&](std::uint64_t target, int steps) {
            for (int i = 0; i < steps; ++i) {
                ASSERT_TRUE(Step(playback, clock, *log, 50 * kMs)) << withDevice << " from " << target;
                const std::uint64_t now = playback.PlayedBytes();
                EXPECT_GE(now, target) << withDevice;
                EXPECT_LE(now, target + BytesAt(piece->format, (i + 1) * 50 * kMs + 20 * kMs)) << withDevice;
            }
        };
        stepFrom(0, 10);
        EXPECT_EQ(playback.Status(), Playback::Activity::Playing);
        {
            // What follows is on the device that took over from a lost one.
            std::lock_guard lock(log->mutex);
            EXPECT_EQ(log->received.size(), withDevice ? 2u : 0u);
        }

        const std::uint64_t ahead = BytesAt(piece->format, 3 * kSecond);
        playback.Seek(ahead + 3);
        EXPECT_EQ(playback.PlayedBytes(), ahead) << withDevice;
        EXPECT_TRUE(!withDevice || WaitFor([&] { return FedFrom(*log, *piece, ahead, 1); }));
        stepFrom(ahead, 5);
        EXPECT_EQ(*opened, 1) << withDevice;  // served from what was held

        const std::uint64_t back = BytesAt(piece->format, kSecond);
        playback.Seek(back);
        EXPECT_EQ(playback.PlayedBytes(), back) << withDevice;
        EXPECT_TRUE(!withDevice || WaitFor([&] { return FedFrom(*log, *piece, back, 2); }));
        stepFrom(back, 5);
        EXPECT_EQ(*opened, 1) << withDevice;  // kept from before

        ASSERT_TRUE(playback.Pause());
        EXPECT_FALSE(playback.Pause());
        EXPECT_EQ(playback.Status(), Playback::Activity::Paused);
        EXPECT_TRUE(!withDevice || WaitFor([&] {
            std::lock_guard lock(log->mutex);
            return !log->started;
        }));
        const std::uint64_t standing = playback.PlayedBytes();
        for (int i = 0; i < 5; ++i) {
            clock.Advance(200 * kMs);
            std::this_thread::sleep_for(5ms);
            EXPECT_EQ(playback.PlayedBytes(), standing) << withDevice;
        }
        const std::uint64_t later = BytesAt(piece->format, 6 * kSecond);
        playback.Seek(later);
        EXPECT_TRUE(!withDevice || WaitFor([&] { return FedFrom(*log, *piece, later, 3); }));
        clock.Advance(500 * kMs);
        EXPECT_EQ(playback.PlayedBytes(), later) << withDevice;
        EXPECT_EQ(playback.Status(), Playback::Activity::Paused);
        {
            std::lock_guard lock(log->mutex);
            EXPECT_FALSE(log->started);
        }

        ASSERT_TRUE(playback.Resume());
        EXPECT_FALSE(playback.Resume());
        EXPECT_TRUE(WaitFor([&] { return playback.Status() == Playback::Activity::Playing; })) << withDevice;
        stepFrom(later, 5);
        std::uint64_t last = playback.PlayedBytes();
        for (int i = 0; i < 100 && !playback.Finished(); ++i) {
            ASSERT_TRUE(Step(playback, clock, *log, 50 * kMs));
            EXPECT_GE(playback.PlayedBytes(), last);
            last = playback.PlayedBytes();
        }
        EXPECT_EQ(playback.Status(), Playback::Activity::Stopped);
        EXPECT_FALSE(playback.Pause());  // at the end
        ExpectStaysAt(playback, clock, piece->bytes.size(), *log);

        // Sent back from its end, it stays stopped there until resumed; then
        // it plays from there, on a device opened again, as any stream that plays.
        playback.Seek(back);
        clock.Advance(200 * kMs);
        EXPECT_EQ(playback.PlayedBytes(), back) << withDevice;
        EXPECT_EQ(playback.Status(), Playback::Activity::Stopped);
        EXPECT_FALSE(playback.Pause());
        ASSERT_TRUE(playback.Resume());
        EXPECT_TRUE(!withDevice || WaitFor([&] { return FedFrom(*log, *piece, back, 0); }));
        EXPECT_TRUE(WaitFor([&] { return playback.Status() == Playback::Activity::Playing; })) << withDevice;
        stepFrom(back, 3);
        EXPECT_EQ(playback.ClockInUse(), withDevice ? PositionClock::Device : PositionClock::RealTime);
        ASSERT_TRUE(playback.Pause());
        EXPECT_EQ(playback.Status(), Playback::Activity::Paused);
        std::lock_guard lock(log->mutex);
        EXPECT_EQ(log->received.size(), withDevice ? 3u : 0u);
    }
}

// Set as the thread that made it ends, a little after that thread's code returned.
struct LastWords {
    std::shared_ptr<std::atomic<bool>> said;
    LastWords() = default;
    LastWords(const LastWords&) = delete;
    LastWords& operator=(const LastWords&) = delete;
    ~LastWords()
    {
        std::this_thread::sleep_for(200ms);
        *said = true;
    }
};

// A 30 s piece on a clock that never moves: a destructor that waited for its
// end would never return. A bounded wait for its end says it has ended only
// once the decoding thread is gone, its last notifications run.
TEST(Playback, EndsWhenDestroyedWhilePlaying)
{
    const auto tone = Tone(44100, 2, 30.0);
    TestClock clock;
    auto log = std::make_shared<DeviceLog>();
    auto gone = std::make_shared<std::atomic<bool>>(false);
    {
        const SourceOpener open = OpenTone(tone);
        Playback playback(
            [=] {
                thread_local LastWords words;
                words.said = gone;
                return open();
            },
            InfoOf(*tone), AudioOutput::DefaultDevice, FakeDevices(log, clock), clock.Reader());
        playback.Start();
        ASSERT_TRUE(WaitFor([&] { return playback.ClockInUse() == PositionClock::Device; }));
        playback.RequestStop();
        EXPECT_TRUE(playback.WaitStopped(10'000));
        EXPECT_TRUE(*gone);
    }
    std::lock_guard lock(log->mutex);
    EXPECT_EQ(log->alive, 0);
}

}  // namespace
