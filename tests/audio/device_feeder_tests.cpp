// Feeding the device, through Playback with stand-in and real devices: every
// byte once and in order, devices that fail, are lost or cannot be made.
#include "audio/audio_file_probe.h"
#include "audio/file_sources.h"
#include "audio/playback.h"
#include "audio/readable_file.h"
#include "tests/audio/audio_files.h"
#include "tests/audio/playback_fakes.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

namespace {

using namespace std::chrono_literals;

TEST(Playback, StreamsAFileToTheDeviceAndStopsAtItsEnd)
{
    if (!DefaultOutputDeviceExists()) {
        GTEST_SKIP() << "no output device";
    }
    const std::wstring path = WriteToneWav(L"device.wav", 44100, 2, 1.0);
    const std::wstring fullPath = ResolveReadableFile(path);
    const FileLayout layout = ProbeAudioFile(fullPath).value();
    Playback playback([=] { return OpenFileSource(fullPath, layout); }, layout.info, AudioOutput::DefaultDevice);
    EXPECT_EQ(playback.LengthBytes(), 176400u);
    playback.Start();
    ASSERT_TRUE(WaitFor([&] { return playback.PlayedBytes() > 0; }));
    EXPECT_EQ(playback.ClockInUse(), PositionClock::Device);
    std::uint64_t last = 0;
    ASSERT_TRUE(WaitFor([&] {
        const std::uint64_t now = playback.PlayedBytes();
        EXPECT_GE(now, last);
        EXPECT_EQ(now % 4, 0u);
        last = now;
        return playback.Finished();
    }));
    EXPECT_EQ(playback.PlayedBytes(), 176400u);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(playback.PlayedBytes(), 176400u);
}

// Every byte reaches the device once and in order, and the position follows
// its clock, read by the feeding thread alone, without going back, also when
// that clock steps back or tells the time of an earlier position, and with a
// wake-up event whose wait fails (the feeding thread then paces itself
// instead of spinning).
TEST(Playback, HandsTheDeviceEveryByteInOrder)
{
    const auto tone = Tone(44100, 2, 0.8);
    for (const FakeDeviceKind& kind :
         {FakeDeviceKind{}, FakeDeviceKind{.clockStepsBackAt = 300 * kMs}, FakeDeviceKind{.brokenReadyEvent = true},
          FakeDeviceKind{.readingAgeUs = 100 * kMs}}) {
        TestClock clock;
        auto log = std::make_shared<DeviceLog>();
        Playback playback(OpenTone(tone), InfoOf(*tone), AudioOutput::DefaultDevice, FakeDevices(log, clock, kind),
                          clock.Reader());
        playback.Start();
        ASSERT_TRUE(WaitFor([&] { return playback.ClockInUse() == PositionClock::Device; }));
        if (kind.brokenReadyEvent) {
            // The clock stands still, so the device is full: paced, the
            // feeding thread looks at it about every 20 ms; spinning, thousands of times.
            const int before = log->freeFramesCalls;
            std::this_thread::sleep_for(200ms);
            EXPECT_LT(log->freeFramesCalls - before, 50);
        }
        const std::uint64_t took = FollowToTheEnd(playback, clock, *log);
        EXPECT_GE(took, 800 * kMs);
        EXPECT_LE(took, (kind.clockStepsBackAt == UINT64_MAX ? 850 : 950) * kMs);
        ExpectStaysAt(playback, clock, tone->bytes.size(), *log);
        std::lock_guard lock(log->mutex);
        ASSERT_EQ(log->received.size(), 1u);
        EXPECT_TRUE(log->received[0] == tone->bytes);
        EXPECT_EQ(log->foreignCalls, 0);  // the reading threads never call into the device
    }
}

// A stream that cannot go on ends, its device let go: a file that cannot be
// read, a device that cannot be made for want of memory, one whose queueing
// throws halfway.
TEST(Playback, AStreamThatCannotGoOnEndsAndLetsItsDeviceGo)
{
    const auto tone = Tone(44100, 2, 0.8);
    struct Case {
        const char* name;
        SourceOpener open;
        FakeDeviceKind kind;
        bool deviceThrows;
    };
    const Case cases[] = {
        {"unreadable file", [] { return OpenedSource{}; }, {}, false},
        {"device cannot be made", OpenTone(tone), {}, true},
        {"queueing throws", OpenTone(tone), {.queueThrowsAfter = 300 * kMs}, false},
    };
    for (const Case& c : cases) {
        TestClock clock;
        auto log = std::make_shared<DeviceLog>();
        DeviceOpener open = FakeDevices(log, clock, c.kind);
        if (c.deviceThrows) {
            open = [](const PcmFormat&) -> std::unique_ptr<OutputDevice> { throw std::bad_alloc(); };
        }
        Playback playback(c.open, InfoOf(*tone), AudioOutput::DefaultDevice, open, clock.Reader());
        playback.Start();
        FollowToTheEnd(playback, clock, *log);
        ASSERT_TRUE(playback.Finished()) << c.name;
        const std::uint64_t end = playback.PlayedBytes();
        if (c.kind.queueThrowsAfter) {
            EXPECT_GE(end, BytesAt(tone->format, 300 * kMs)) << c.name;
            EXPECT_LT(end, tone->bytes.size()) << c.name;
        } else {
            EXPECT_EQ(end, 0u) << c.name;
        }
        ExpectStaysAt(playback, clock, end, *log);
    }
}

TEST(Playback, CarriesOnWhenTheDeviceIsLostMidPlay)
{
    const auto tone = Tone(44100, 2, 1.2);
    for (const int replacements : {1, 0}) {
        TestClock clock;
        auto log = std::make_shared<DeviceLog>();
        Playback playback(OpenTone(tone), InfoOf(*tone), AudioOutput::DefaultDevice,
                          FakeDevices(log, clock, {.clockFailsAfter = 300 * kMs}, replacements), clock.Reader());
        playback.Start();
        ASSERT_TRUE(WaitFor([&] { return playback.ClockInUse() == PositionClock::Device; }));
        // No leap either way and no stall: the whole piece takes its own length.
        const std::uint64_t took = FollowToTheEnd(playback, clock, *log);
        EXPECT_GE(took, 1200 * kMs) << replacements;
        EXPECT_LE(took, 1250 * kMs) << replacements;
        ExpectStaysAt(playback, clock, tone->bytes.size(), *log);

        std::lock_guard lock(log->mutex);
        ASSERT_EQ(log->received.size(), 1u + replacements);
        if (replacements == 1) {
            // The new device was given the rest, from where the lost one was heard.
            const std::vector<std::uint8_t>& rest = log->received[1];
            ASSERT_LE(rest.size(), tone->bytes.size());
            EXPECT_TRUE(
                std::equal(rest.begin(), rest.end(), tone->bytes.end() - static_cast<std::ptrdiff_t>(rest.size())));
            const std::uint64_t lostAt = tone->bytes.size() - rest.size();
            // The loss shows at the first reading past 300 ms, which a busy
            // machine can put a step later; what was queued ahead runs further.
            EXPECT_GE(lostAt, BytesAt(tone->format, 300 * kMs));
            EXPECT_LE(lostAt, BytesAt(tone->format, 400 * kMs));
        } else {
            EXPECT_EQ(playback.ClockInUse(), PositionClock::RealTime);
        }
    }
}

// A device that takes over while the stream is paused is fed but not
// started, and neither drains nor is let go however long the pause lasts;
// resumed, it plays what it was given, and the position follows it.
TEST(Playback, ADeviceOpenedWhilePausedWaitsForTheResumption)
{
    const auto piece = Numbered(44100, 0.15);  // less than the device's buffer: given at once
    TestClock clock;
    auto log = std::make_shared<DeviceLog>();
    const DeviceOpener fakes = FakeDevices(log, clock);
    auto release = std::make_shared<std::atomic<bool>>(false);
    Playback playback(
        OpenTone(piece), InfoOf(*piece), AudioOutput::DefaultDevice,
        [=](const PcmFormat& format) {
            WaitFor([&] { return release->load(); });
            return fakes(format);
        },
        clock.Reader());
    playback.Start();
    ASSERT_TRUE(playback.Pause());
    *release = true;
    const auto fedAtThisTime = [&] {
        return WaitFor([&] {
            std::lock_guard lock(log->mutex);
            return log->queued == piece->bytes.size() / 4 && log->readAt == clock.Now();
        });
    };
    ASSERT_TRUE(fedAtThisTime());
    for (int i = 0; i < 2; ++i) {  // the first sets any deadline to drain, the second passes it
        clock.Advance(5 * kSecond);
        ASSERT_TRUE(fedAtThisTime());
    }
    EXPECT_EQ(playback.PlayedBytes(), 0u);
    EXPECT_EQ(playback.Status(), Playback::Activity::Paused);
    {
        std::lock_guard lock(log->mutex);
        EXPECT_EQ(log->starts, 0);  // not even for a moment
    }

    ASSERT_TRUE(playback.Resume());
    EXPECT_TRUE(WaitFor([&] {
        std::lock_guard lock(log->mutex);
        return log->started;
    }));
    FollowToTheEnd(playback, clock, *log);
    ExpectStaysAt(playback, clock, piece->bytes.size(), *log);
    std::lock_guard lock(log->mutex);
    ASSERT_EQ(log->received.size(), 1u);
    EXPECT_TRUE(log->received[0] == piece->bytes);
}

// A seek at any moment of a device's take-over (during its first fill or
// its start) or of its last turn (when it has played everything and is about
// to be let go) is served by the device that ends up playing: it drops what
// it was given and is fed from the new place, which the position reads.
TEST(Playback, ASeekDuringADevicesTakeOverOrLastTurnReachesThatDevice)
{
    for (const bool atStart : {true, false}) {
        const auto piece = Numbered(44100, 2.0);
        TestClock clock;
        auto log = std::make_shared<DeviceLog>();
        auto gate = std::make_shared<Gate>();
        FakeDeviceKind stopping;
        (atStart ? stopping.onStart : stopping.onRunDry) = [gate] { gate->Pass(); };
        gate->Arm();
        Playback playback(OpenTone(piece), InfoOf(*piece), AudioOutput::DefaultDevice,
                          FakeDevices(log, clock, {.clockFailsAfter = 300 * kMs}, 1, stopping), clock.Reader());
        playback.Start();
        ASSERT_TRUE(WaitFor([&] { return playback.ClockInUse() == PositionClock::Device; }));
        for (int i = 0; i < 5; ++i) {
            ASSERT_TRUE(Step(playback, clock, *log, 50 * kMs)) << atStart;
        }
        clock.Advance(100 * kMs);  // the first device is lost; the second stops
        ASSERT_TRUE(gate->Reached()) << atStart;
        const std::uint64_t target = BytesAt(piece->format, 1500 * kMs);
        playback.Seek(target);
        gate->Release();
        EXPECT_TRUE(WaitFor([&] { return FedFrom(*log, *piece, target, 1); })) << atStart;
        ASSERT_TRUE(WaitFor([&] { return playback.ClockInUse() == PositionClock::Device; })) << atStart;
        EXPECT_EQ(playback.PlayedBytes(), target) << atStart;
        FollowToTheEnd(playback, clock, *log);
        ExpectStaysAt(playback, clock, piece->bytes.size(), *log);
    }

    // Sent back to its start and played again, as the author's controls do at
    // the song's end, in the turn that finds the device played out.
    const auto piece = Numbered(44100, 0.15);  // less than the device's buffer: given at once
    TestClock clock;
    auto log = std::make_shared<DeviceLog>();
    auto gate = std::make_shared<Gate>();
    Playback playback(OpenTone(piece), InfoOf(*piece), AudioOutput::DefaultDevice,
                      FakeDevices(log, clock, {.onRunDry = [gate] { gate->Pass(); }}), clock.Reader());
    playback.Start();
    ASSERT_TRUE(WaitFor([&] {
        std::lock_guard lock(log->mutex);
        return log->started && log->queued == piece->bytes.size() / 4;
    }));
    gate->Arm();
    clock.Advance(200 * kMs);
    ASSERT_TRUE(gate->Reached());
    playback.Seek(0);
    playback.Resume();  // as the library's play does; stopped by the seek only once the end was read
    gate->Release();
    EXPECT_TRUE(WaitFor([&] { return FedFrom(*log, *piece, 0, 1); }));
    EXPECT_EQ(playback.ClockInUse(), PositionClock::Device);
    FollowToTheEnd(playback, clock, *log);
    ExpectStaysAt(playback, clock, piece->bytes.size(), *log);
}

}  // namespace
