#include "audio/audio_library.h"
#include "audio/playback.h"
#include "audio_files.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cmath>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

PcmAudio Tone(std::uint32_t rate, std::uint16_t channels, double seconds)
{
    PcmAudio audio;
    audio.sampleRate = rate;
    audio.channels = channels;
    audio.bytes = WavSamples(MakeWav(rate, channels, static_cast<std::uint32_t>(std::lround(seconds * rate))));
    return audio;
}

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// Waits until the position moves, so that device start-up time is not counted.
bool WaitForMovement(Playback& playback)
{
    const auto deadline = Clock::now() + 3s;
    while (playback.PlayedBytes() == 0) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

bool WaitForEnd(Playback& playback, std::chrono::seconds limit)
{
    const auto deadline = Clock::now() + limit;
    while (!playback.Finished()) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// Checks that the position follows the wall clock over `window`.
void ExpectRealTimeAdvance(Playback& playback, std::chrono::milliseconds window, double tolerance)
{
    const double bytesPerSecond = static_cast<double>(playback.Audio().BytesPerSecond());
    const auto t0 = Clock::now();
    const std::uint64_t p0 = playback.PlayedBytes();
    std::this_thread::sleep_for(window);
    const std::uint64_t p1 = playback.PlayedBytes();
    const auto t1 = Clock::now();
    EXPECT_NEAR((p1 - p0) / bytesPerSecond, Seconds(t1 - t0), tolerance);
    EXPECT_EQ(p1 % playback.Audio().BlockAlign(), 0u);
}

void ExpectEndsAndStays(Playback& playback)
{
    const std::uint64_t total = playback.Audio().bytes.size();
    ASSERT_TRUE(WaitForEnd(playback, 5s));
    EXPECT_EQ(playback.PlayedBytes(), total);
    // Nothing loops or restarts it, not even a second start.
    playback.Start();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(playback.PlayedBytes(), total);
    EXPECT_TRUE(playback.Finished());
}

TEST(Playback, SilentClockRunsInRealTimeAndStopsAtTheEnd)
{
    Playback playback(Tone(22050, 1, 0.5), AudioOutput::Silent);
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(playback.PlayedBytes(), 0u);
    EXPECT_FALSE(playback.Finished());

    playback.Start();
    ExpectRealTimeAdvance(playback, 250ms, 0.03);
    EXPECT_FALSE(playback.OnDeviceClock());
    ExpectEndsAndStays(playback);
}

TEST(Playback, DeviceClockRunsInRealTimeAndStopsAtTheEnd)
{
    if (!DefaultOutputDeviceExists()) {
        GTEST_SKIP() << "no output device";
    }
    Playback playback(Tone(44100, 2, 1.0), AudioOutput::DefaultDevice);
    playback.Start();
    ASSERT_TRUE(WaitForMovement(playback));
    EXPECT_TRUE(playback.OnDeviceClock());

    std::uint64_t previous = 0;
    for (int i = 0; i < 20; ++i) {
        const std::uint64_t now = playback.PlayedBytes();
        EXPECT_GE(now, previous);
        previous = now;
    }
    ExpectRealTimeAdvance(playback, 400ms, 0.1);
    ExpectEndsAndStays(playback);
}

TEST(Playback, EndsPromptlyWhenDestroyedWhilePlaying)
{
    const auto begin = Clock::now();
    {
        Playback playback(Tone(44100, 2, 30.0), AudioOutput::DefaultDevice);
        playback.Start();
        std::this_thread::sleep_for(100ms);
    }
    // A 30 s piece: waiting for its end would show here.
    EXPECT_LT(Seconds(Clock::now() - begin), 10.0);
}

bool NoDevice()
{
    return false;
}

TEST(AudioLibrary, WithoutAnyDevicePlaysAgainstTheRealTimeClock)
{
    AudioLibrary library(NoDevice);
    const std::wstring path = WriteToneWav(L"library.wav", 22050, 1, 0.4);
    EXPECT_EQ(library.CreateStream(path), 0u);  // not started yet
    EXPECT_FALSE(library.Init(1));              // no first device to ask for
    EXPECT_FALSE(library.Init(7));
    ASSERT_TRUE(library.Init(-1));
    EXPECT_FALSE(library.Init(-1));

    const std::uint32_t handle = library.CreateStream(path);
    ASSERT_NE(handle, 0u);
    EXPECT_EQ(library.BytesToSeconds(handle, 44100), 1.0);  // its own rate, one channel
    EXPECT_EQ(library.PlayedBytes(handle), 0u);
    ASSERT_TRUE(library.Start(handle));
    std::this_thread::sleep_for(150ms);
    const double played = *library.BytesToSeconds(handle, *library.PlayedBytes(handle));
    EXPECT_GT(played, 0.1);
    EXPECT_LE(played, 0.4);

    EXPECT_FALSE(library.Start(handle + 1));
    EXPECT_FALSE(library.PlayedBytes(handle + 1).has_value());
    EXPECT_FALSE(library.BytesToSeconds(0, 1).has_value());
}

}  // namespace
