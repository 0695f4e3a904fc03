// The library behind the exported calls, on the stand-in clock and devices:
// no device, its end, looping streams and a device slow to open.
#include "audio/audio_library.h"
#include "audio/bass_calls.h"
#include "tests/audio/audio_files.h"
#include "tests/audio/playback_fakes.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;

TEST(AudioLibrary, WithoutAnyDevicePlaysAgainstTheRealTimeClock)
{
    TestClock clock;
    AudioLibrary library(NoDevice, OpenNoDevice, clock.Reader());
    const std::wstring path = WriteToneWav(L"library.wav", 22050, 1, 20.0);
    EXPECT_EQ(library.CreateStream(path), 0u);  // not started yet
    EXPECT_FALSE(library.Init(1));              // no first device to ask for
    EXPECT_FALSE(library.Init(7));
    ASSERT_TRUE(library.Init(-1));
    EXPECT_FALSE(library.Init(-1));

    const std::uint32_t handle = library.CreateStream(path);
    ASSERT_NE(handle, 0u);
    EXPECT_EQ(library.BytesToSeconds(handle, 44100), 1.0);  // its own rate, one channel
    EXPECT_EQ(library.PlayedBytes(handle), 0u);
    std::this_thread::sleep_for(200ms);  // time to decode ahead
    ASSERT_TRUE(library.Start(handle));
    // From 0 however far it has decoded: at most the time the clock moved.
    const std::uint64_t begin = clock.Now();
    ASSERT_TRUE(WaitFor([&] {
        clock.Advance(kMs);
        return library.PlayedBytes(handle) > 0u;
    }));
    const std::uint64_t played = *library.PlayedBytes(handle);
    EXPECT_LE(played, BytesAt({.sampleRate = 22050, .channels = 1}, clock.Now() - begin));

    // Sent past what is decoded (4 s ahead), it is stalled until decoding
    // catches up, and the export says so, not paused. Decoding may catch up
    // between the two calls: a few tries.
    bool stalled = false;
    for (int i = 0; i < 3 && !stalled; ++i) {
        clock.Advance(5 * kSecond);
        const DWORD activity = ChannelIsActiveOn(library, handle);
        EXPECT_NE(activity, DWORD{BASS_ACTIVE_PAUSED});
        stalled = activity == BASS_ACTIVE_STALLED;
        ASSERT_TRUE(WaitFor([&] { return ChannelIsActiveOn(library, handle) == BASS_ACTIVE_PLAYING; }));
    }
    EXPECT_TRUE(stalled);

    EXPECT_FALSE(library.Start(handle + 1));
    EXPECT_FALSE(library.PlayedBytes(handle + 1).has_value());
    EXPECT_FALSE(library.BytesToSeconds(0, 1).has_value());
}

// The library's end: each stream's threads end and its device is let go
// before Free returns, even while another thread reads a position; the
// handles then fail, and only a new Init starts the library again.
TEST(AudioLibrary, FreeLetsEveryDeviceGoBeforeItReturns)
{
    TestClock clock;  // never moved: no stream ends by itself
    auto log = std::make_shared<DeviceLog>();
    AudioLibrary library(NoDevice, FakeDevices(log, clock, {}, 10), clock.Reader());
    EXPECT_FALSE(library.Free());  // never started
    const std::wstring path = WriteToneWav(L"free.wav", 44100, 2, 10.0);
    ASSERT_TRUE(library.Init(-1));
    const std::uint32_t first = library.CreateStream(path);
    const std::uint32_t second = library.CreateStream(path);
    const std::uint32_t unstarted = library.CreateStream(path);
    ASSERT_TRUE(library.Start(first));
    ASSERT_TRUE(library.Start(second));
    ASSERT_TRUE(WaitFor([&] {
        std::lock_guard lock(log->mutex);
        return log->alive == 2;
    }));

    std::atomic<bool> freed{false};
    std::thread reader([&] {
        while (!freed) {
            library.PlayedBytes(first);
        }
    });
    EXPECT_TRUE(library.Free());
    {
        std::lock_guard lock(log->mutex);
        EXPECT_EQ(log->alive, 0);
    }
    // Each stream let go, with what it kept: only the library's own opener
    // still holds the stand-ins' log, beside the test.
    EXPECT_EQ(log.use_count(), 2);
    freed = true;
    reader.join();
    for (const std::uint32_t handle : {first, second, unstarted}) {
        EXPECT_FALSE(library.PlayedBytes(handle).has_value());
        EXPECT_FALSE(library.LengthBytes(handle).has_value());
        EXPECT_FALSE(library.Start(handle));
    }
    EXPECT_FALSE(library.Free());
    EXPECT_EQ(library.CreateStream(path), 0u);

    ASSERT_TRUE(library.Init(-1));
    const std::uint32_t again = library.CreateStream(path);
    EXPECT_GT(again, unstarted);  // an old handle never names a new stream
    ASSERT_TRUE(library.Start(again));
    EXPECT_TRUE(WaitFor([&] {
        std::lock_guard lock(log->mutex);
        return log->alive == 1 && log->started;
    }));
    // At the program's exit the same, once; nothing starts again after it,
    // as its streams would outlive it.
    library.EndAtExit();
    EXPECT_FALSE(library.PlayedBytes(again).has_value());
    EXPECT_FALSE(library.Init(-1));
    EXPECT_FALSE(library.Init(0));
    EXPECT_EQ(library.CreateStream(path), 0u);
}

// At the program's exit the library also ends what a Free on another thread
// is ending, and returns only once that stream's device is let go; a stream
// whose thread does not end (as one inside a DLL's start-up, waiting for the
// runtime's exit lock that the exit holds) it waits for only up to its bound,
// ending the library all the same.
TEST(AudioLibrary, EndAtExitWaitsForAFreeUnderWayButNotForAThreadThatHangs)
{
    TestClock clock;
    const std::wstring path = WriteToneWav(L"exit.wav", 44100, 2, 10.0);
    struct Held {
        std::promise<void> releasing;
        std::shared_future<void> released;
    };
    for (const bool concurrentFree : {true, false}) {
        auto log = std::make_shared<DeviceLog>();
        auto held = std::make_shared<Held>();
        std::promise<void> release;
        held->released = release.get_future().share();
        const FakeDeviceKind slow{.onRelease = [held] {
            held->releasing.set_value();
            held->released.wait();
        }};
        AudioLibrary library(NoDevice, FakeDevices(log, clock, slow), clock.Reader());
        ASSERT_TRUE(library.Init(-1));
        const std::uint32_t handle = library.CreateStream(path);
        ASSERT_TRUE(library.Start(handle));
        ASSERT_TRUE(WaitFor([&] {
            std::lock_guard lock(log->mutex);
            return log->alive == 1;
        }));
        std::future<bool> freeing;
        if (concurrentFree) {
            freeing = std::async(std::launch::async, [&] { return library.Free(); });
            held->releasing.get_future().wait();
        }
        // A moment after the end has begun, the device is let go; an end
        // that did not wait for it has returned by then.
        std::thread releaser([&] {
            std::this_thread::sleep_for(200ms);
            if (concurrentFree) {
                release.set_value();
            }
        });
        // The devices not yet let go when the end returns.
        std::future<int> end = std::async(std::launch::async, [&] {
            library.EndAtExit(concurrentFree ? 60'000 : 300);
            std::lock_guard lock(log->mutex);
            return log->alive;
        });
        const bool ended = end.wait_for(30s) == std::future_status::ready;
        releaser.join();
        if (ended) {
            EXPECT_EQ(end.get(), concurrentFree ? 0 : 1) << (concurrentFree ? "with a Free under way" : "");
        }
        EXPECT_TRUE(ended);
        EXPECT_FALSE(library.PlayedBytes(handle).has_value());
        if (!concurrentFree) {
            release.set_value();
        }
        if (freeing.valid()) {
            EXPECT_TRUE(freeing.get());
        }
    }
}

// Looping, the position starts again at 0 at each end and tells the time
// within the pass; the stream played once stops at its end.
TEST(AudioLibrary, ALoopingStreamsPositionStartsAgainAtEachEnd)
{
    TestClock clock;
    AudioLibrary library(NoDevice, OpenNoDevice, clock.Reader());
    ASSERT_TRUE(library.Init(0));
    const std::wstring path = WriteToneWav(L"loop.wav", 8000, 1, 0.25);  // 4000 bytes
    const std::uint32_t looping = library.CreateStream(path, true);
    const std::uint32_t once = library.CreateStream(path);
    ASSERT_NE(looping, 0u);
    EXPECT_EQ(library.LengthBytes(looping), 4000u);
    std::this_thread::sleep_for(200ms);  // time to decode ahead
    ASSERT_TRUE(library.Start(looping));
    ASSERT_TRUE(library.Start(once));
    std::uint64_t previous = 0;
    int wraps = 0;
    for (int step = 0; step < 110; ++step) {
        clock.Advance(10 * kMs);
        const std::uint64_t position = library.PlayedBytes(looping).value();
        EXPECT_LT(position, 4000u);
        wraps += position < previous ? 1 : 0;
        previous = position;
    }
    EXPECT_EQ(wraps, 4);
    EXPECT_EQ(library.PlayedBytes(looping), 1600u);  // 1.1 s in: 17600 bytes
    EXPECT_EQ(library.PlayedBytes(once), 4000u);

    // A seek stays within the pass it plays, and the passes go on after it.
    EXPECT_FALSE(library.SetPosition(looping, 4000));
    ASSERT_TRUE(library.SetPosition(looping, 3001));
    EXPECT_EQ(library.PlayedBytes(looping), 3000u);
    ASSERT_TRUE(WaitFor([&] { return library.Activity(looping) == Playback::Activity::Playing; }));
    clock.Advance(50 * kMs);
    EXPECT_EQ(library.PlayedBytes(looping), 3800u);
    clock.Advance(50 * kMs);
    EXPECT_EQ(library.PlayedBytes(looping), 600u);

    // The stream that ended is sent back and stays stopped there, as the
    // vendor's does, until played; restarted, it plays from 0.
    EXPECT_FALSE(library.Pause(once));
    EXPECT_EQ(library.Activity(once), Playback::Activity::Stopped);
    EXPECT_EQ(library.SecondsToBytes(once, 0.1), 1600u);
    EXPECT_EQ(library.SecondsToBytes(once, 0.0001249), 0u);  // rounded down to a whole frame
    EXPECT_FALSE(library.SecondsToBytes(once, -1.0).has_value());
    ASSERT_TRUE(library.SetPosition(once, 1600));
    clock.Advance(50 * kMs);
    EXPECT_EQ(library.PlayedBytes(once), 1600u);
    EXPECT_EQ(library.Activity(once), Playback::Activity::Stopped);
    EXPECT_FALSE(library.Pause(once));
    ASSERT_TRUE(library.Play(once, false));
    ASSERT_TRUE(WaitFor([&] { return library.Activity(once) == Playback::Activity::Playing; }));
    clock.Advance(50 * kMs);
    EXPECT_EQ(library.PlayedBytes(once), 2400u);
    // Any restart that is not FALSE restarts, as a BOOL is read.
    ASSERT_EQ(ChannelPlayOn(library, once, 2), TRUE);
    EXPECT_EQ(library.PlayedBytes(once), 0u);
    EXPECT_FALSE(library.SetPosition(once + 5, 0));
    EXPECT_FALSE(library.Play(once + 5, false));
    EXPECT_EQ(library.Activity(once + 5), Playback::Activity::Stopped);
}

// A looping stream sent back within a later pass, to before what is kept:
// the device is fed that place of the pass, where the position says it is,
// not the pass's start.
TEST(AudioLibrary, ALoopingStreamSentBackInALaterPassPlaysThePlaceAsked)
{
    TestClock clock;
    auto log = std::make_shared<DeviceLog>();
    AudioLibrary library(NoDevice, FakeDevices(log, clock), clock.Reader(), 8'000);
    ASSERT_TRUE(library.Init(-1));
    const auto pass = Numbered(8000, 1.0);
    std::vector<std::uint8_t> wav = MakeWav(8000, 2, 8000);
    std::copy(pass->bytes.begin(), pass->bytes.end(), wav.end() - static_cast<std::ptrdiff_t>(pass->bytes.size()));
    const std::wstring path = AudioFilePath(L"numbered-loop.wav");
    ASSERT_TRUE(WriteFileBytes(path, wav));
    const std::uint32_t handle = library.CreateStream(path, true);
    ASSERT_TRUE(library.Start(handle));
    // 2.9 s in, each step once the device has been read at this time and holds the next 50 ms.
    for (int i = 0; i < 58; ++i) {
        ASSERT_TRUE(WaitFor([&] {
            std::lock_guard lock(log->mutex);
            return log->started && log->readAt == clock.Now() && log->queued - log->played >= 400;
        }));
        clock.Advance(50 * kMs);
    }
    ASSERT_GT(library.PlayedBytes(handle), 25'600u);
    ASSERT_TRUE(library.SetPosition(handle, 3'200));
    EXPECT_EQ(library.PlayedBytes(handle), 3'200u);
    EXPECT_TRUE(WaitFor([&] { return FedFrom(*log, *pass, 3'200, 1); }));
}

// A device that takes its time to open, as some do: the calls a frame makes
// answer meanwhile, the position waits at 0, then the whole piece plays from
// its first byte.
TEST(AudioLibrary, ASlowDeviceHoldsNoCallBackAndThePositionWaitsForIt)
{
    TestClock clock;
    auto log = std::make_shared<DeviceLog>();
    const DeviceOpener fakes = FakeDevices(log, clock);
    auto opening = std::make_shared<std::atomic<bool>>(false);
    auto release = std::make_shared<std::atomic<bool>>(false);
    AudioLibrary library(
        NoDevice,
        [=](const PcmFormat& format) {
            *opening = true;
            WaitFor([&] { return release->load(); });
            *opening = false;
            return fakes(format);
        },
        clock.Reader());
    const std::vector<std::uint8_t> wav = MakeWav(44100, 2, 26460);  // 0.6 s
    const std::wstring path = AudioFilePath(L"slow-device.wav");
    ASSERT_TRUE(WriteFileBytes(path, wav));
    ASSERT_TRUE(library.Init(-1));
    const std::uint32_t handle = library.CreateStream(path);
    ASSERT_NE(handle, 0u);
    ASSERT_TRUE(library.Start(handle));
    ASSERT_TRUE(WaitFor([&] { return opening->load(); }));
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(library.PlayedBytes(handle), 0u);
        clock.Advance(10 * kMs);
    }
    EXPECT_TRUE(*opening);  // every answer above came while the device was still opening

    *release = true;
    ASSERT_TRUE(WaitFor([&] {
        std::lock_guard lock(log->mutex);
        return log->started;
    }));
    // From the start, not from when it was asked for: no more than the time since it opened.
    const std::uint64_t opened = clock.Now();
    std::uint64_t first = 0;
    ASSERT_TRUE(WaitFor([&] {
        clock.Advance(kMs);
        first = *library.PlayedBytes(handle);
        return first > 0;
    }));
    EXPECT_LE(first, BytesAt({.sampleRate = 44100, .channels = 2}, clock.Now() - opened));
    for (int i = 0; i < 100 && library.PlayedBytes(handle) < wav.size() - 44; ++i) {
        ASSERT_TRUE(WaitFor([&] {
            std::lock_guard lock(log->mutex);
            return log->readAt == clock.Now() && (log->queued - log->played >= 2205 || log->queued == 26460);
        }));
        clock.Advance(50 * kMs);
    }
    EXPECT_EQ(library.PlayedBytes(handle), wav.size() - 44);
    std::lock_guard lock(log->mutex);
    ASSERT_EQ(log->received.size(), 1u);
    EXPECT_TRUE(log->received[0] == WavSamples(wav));  // nothing skipped, nothing twice
}

}  // namespace
