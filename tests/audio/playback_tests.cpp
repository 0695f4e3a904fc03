#include "audio/audio_file_probe.h"
#include "audio/audio_library.h"
#include "audio/file_sources.h"
#include "audio/playback.h"
#include "audio/readable_file.h"
#include "audio/whole_file_decoder.h"
#include "tests/audio/audio_files.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>
#include <utility>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::shared_ptr<const PcmAudio> Tone(std::uint32_t rate, std::uint16_t channels, double seconds)
{
    auto audio = std::make_shared<PcmAudio>();
    audio->format = {.sampleRate = rate, .channels = channels};
    audio->bytes = WavSamples(MakeWav(rate, channels, static_cast<std::uint32_t>(std::lround(seconds * rate))));
    return audio;
}

StreamInfo InfoOf(const PcmAudio& audio)
{
    return {.format = audio.format, .lengthBytes = audio.bytes.size()};
}

// Serves a piece in small chunks, as a decoder does, and fails at `failAt` bytes if asked to.
class ToneSource final : public PcmSource {
public:
    ToneSource(std::shared_ptr<const PcmAudio> tone, std::uint64_t failAt) : audio(std::move(tone)), fail(failAt) {}

    PcmFormat Format() const override { return audio->format; }
    ReadResult Read(std::vector<std::uint8_t>& chunk) override
    {
        constexpr std::uint64_t kChunk = 4607;  // not whole frames, as decoders may hand out
        chunk.clear();
        if (served >= fail) {
            return ReadResult::Error;
        }
        if (served >= audio->bytes.size()) {
            return ReadResult::End;
        }
        const std::uint64_t count = std::min({kChunk, audio->bytes.size() - served, fail - served});
        chunk.assign(audio->bytes.begin() + static_cast<std::ptrdiff_t>(served),
                     audio->bytes.begin() + static_cast<std::ptrdiff_t>(served + count));
        served += count;
        return ReadResult::Data;
    }

private:
    const std::shared_ptr<const PcmAudio> audio;
    const std::uint64_t fail;
    std::uint64_t served = 0;
};

SourceOpener OpenTone(const std::shared_ptr<const PcmAudio>& tone, std::uint64_t failAt = UINT64_MAX)
{
    return [tone, failAt] { return std::make_unique<ToneSource>(tone, failAt); };
}

// What the fake devices of one playback were given, in order.
struct DeviceLog {
    std::mutex mutex;
    std::vector<std::vector<std::uint8_t>> received;  // one entry per device opened
};

// A device that plays in real time what it is given, and dies `lifetime` after its start if given one.
class FakeDevice final : public OutputDevice {
public:
    FakeDevice(const PcmFormat& pcm, std::shared_ptr<DeviceLog> sink, std::optional<Clock::duration> dies)
        : format(pcm), log(std::move(sink)), lifetime(dies)
    {
        std::lock_guard lock(log->mutex);
        index = log->received.size();
        log->received.emplace_back();
    }

    std::uint32_t BufferFrames() const override { return format.sampleRate / 5; }
    std::optional<std::uint32_t> FreeFrames() override
    {
        const std::optional<std::uint64_t> played = PlayedFrames();
        if (!played) {
            return std::nullopt;
        }
        return BufferFrames() - static_cast<std::uint32_t>(queued - *played);
    }
    bool Queue(const std::uint8_t* data, std::uint32_t frames) override
    {
        std::lock_guard lock(log->mutex);
        log->received[index].insert(log->received[index].end(), data, data + frames * format.BlockAlign());
        queued += frames;
        return true;
    }
    bool Start() override
    {
        started = Clock::now();
        return true;
    }
    std::optional<std::uint64_t> PlayedFrames() override
    {
        if (!started) {
            return 0;
        }
        const Clock::duration elapsed = Clock::now() - *started;
        if (lifetime && elapsed > *lifetime) {
            return std::nullopt;
        }
        const auto frames =
            static_cast<std::uint64_t>(std::chrono::duration<double>(elapsed).count() * format.sampleRate);
        return std::min<std::uint64_t>(frames, queued.load());
    }
    HANDLE ReadyEvent() const override { return nullptr; }

private:
    const PcmFormat format;
    const std::shared_ptr<DeviceLog> log;
    const std::optional<Clock::duration> lifetime;
    std::size_t index = 0;
    std::atomic<std::uint64_t> queued{0};  // written by the feeding thread, read on any
    std::optional<Clock::time_point> started;
};

// The first device dies after `firstLifetime`; then `replacements` healthy ones are there, then none.
DeviceOpener FakeDevices(const std::shared_ptr<DeviceLog>& log, std::optional<Clock::duration> firstLifetime,
                         int replacements, const std::shared_ptr<std::atomic<int>>& opened)
{
    return [=](const PcmFormat& format) -> std::unique_ptr<OutputDevice> {
        const int n = (*opened)++;
        if (n == 0) {
            return std::make_unique<FakeDevice>(format, log, firstLifetime);
        }
        if (n <= replacements) {
            return std::make_unique<FakeDevice>(format, log, std::nullopt);
        }
        return nullptr;
    };
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

// Follows the position until the end, checking that it never goes back and
// never leaps ahead of the wall clock; returns the seconds it took.
double FollowToTheEnd(Playback& playback, std::chrono::seconds limit)
{
    const double bytesPerSecond = static_cast<double>(playback.Format().BytesPerSecond());
    const auto begin = Clock::now();
    auto lastTime = begin;
    std::uint64_t last = playback.PlayedBytes();
    while (!playback.Finished() && Clock::now() - begin < limit) {
        std::this_thread::sleep_for(3ms);
        const auto time = Clock::now();
        const std::uint64_t now = playback.PlayedBytes();
        EXPECT_GE(now, last);
        EXPECT_LT((now - last) / bytesPerSecond, Seconds(time - lastTime) + 0.03) << "at " << now;
        EXPECT_EQ(now % playback.Format().BlockAlign(), 0u);
        last = now;
        lastTime = time;
    }
    return Seconds(Clock::now() - begin);
}

// Checks that the position follows the wall clock over `window`.
void ExpectRealTimeAdvance(Playback& playback, std::chrono::milliseconds window, double tolerance)
{
    const double bytesPerSecond = static_cast<double>(playback.Format().BytesPerSecond());
    const auto t0 = Clock::now();
    const std::uint64_t p0 = playback.PlayedBytes();
    std::this_thread::sleep_for(window);
    const std::uint64_t p1 = playback.PlayedBytes();
    const auto t1 = Clock::now();
    EXPECT_NEAR((p1 - p0) / bytesPerSecond, Seconds(t1 - t0), tolerance);
    EXPECT_EQ(p1 % playback.Format().BlockAlign(), 0u);
}

void ExpectEndsAndStaysAt(Playback& playback, std::uint64_t end)
{
    FollowToTheEnd(playback, 5s);
    ASSERT_TRUE(playback.Finished());
    EXPECT_EQ(playback.PlayedBytes(), end);
    // Nothing loops or restarts it, not even a second start.
    playback.Start();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(playback.PlayedBytes(), end);
    EXPECT_TRUE(playback.Finished());
}

TEST(Playback, SilentClockRunsInRealTimeAndStopsAtTheEnd)
{
    const auto tone = Tone(22050, 1, 0.5);
    Playback playback(OpenTone(tone), InfoOf(*tone), AudioOutput::Silent);
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(playback.PlayedBytes(), 0u);
    EXPECT_FALSE(playback.Finished());

    playback.Start();
    ExpectRealTimeAdvance(playback, 250ms, 0.03);
    EXPECT_FALSE(playback.OnDeviceClock());
    ExpectEndsAndStaysAt(playback, tone->bytes.size());
}

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
    ASSERT_TRUE(WaitForMovement(playback));
    EXPECT_TRUE(playback.OnDeviceClock());
    ExpectRealTimeAdvance(playback, 400ms, 0.1);
    ExpectEndsAndStaysAt(playback, 176400);
}

TEST(Playback, HandsTheDeviceEveryByteInOrder)
{
    const auto tone = Tone(44100, 2, 0.6);
    auto log = std::make_shared<DeviceLog>();
    Playback playback(OpenTone(tone), InfoOf(*tone), AudioOutput::DefaultDevice,
                      FakeDevices(log, std::nullopt, 0, std::make_shared<std::atomic<int>>(0)));
    playback.Start();
    ASSERT_TRUE(WaitForMovement(playback));
    EXPECT_TRUE(playback.OnDeviceClock());
    ExpectEndsAndStaysAt(playback, tone->bytes.size());
    std::lock_guard lock(log->mutex);
    ASSERT_EQ(log->received.size(), 1u);
    EXPECT_TRUE(log->received[0] == tone->bytes);
}

TEST(Playback, EndsCleanlyAtTheLastGoodSampleOfAFailingDecode)
{
    const auto tone = Tone(44100, 2, 0.8);
    const std::uint64_t failAt = tone->bytes.size() / 2 + 3;  // inside a frame
    const std::uint64_t lastGood = failAt - failAt % 4;
    for (const AudioOutput output : {AudioOutput::Silent, AudioOutput::DefaultDevice}) {
        auto log = std::make_shared<DeviceLog>();
        Playback playback(OpenTone(tone, failAt), InfoOf(*tone), output,
                          FakeDevices(log, std::nullopt, 0, std::make_shared<std::atomic<int>>(0)));
        playback.Start();
        const double took = FollowToTheEnd(playback, 5s);
        ASSERT_TRUE(playback.Finished());
        EXPECT_NEAR(took, 0.4, 0.15);
        EXPECT_EQ(playback.PlayedBytes(), lastGood);
        std::this_thread::sleep_for(100ms);
        EXPECT_EQ(playback.PlayedBytes(), lastGood);
        EXPECT_EQ(playback.LengthBytes(), tone->bytes.size());  // as the file states it

        // The device heard the good samples and nothing after them.
        std::lock_guard lock(log->mutex);
        if (output == AudioOutput::DefaultDevice) {
            ASSERT_EQ(log->received.size(), 1u);
            EXPECT_TRUE(std::equal(log->received[0].begin(), log->received[0].end(), tone->bytes.begin()));
            EXPECT_EQ(log->received[0].size(), lastGood);
        }
    }
}

TEST(Playback, CarriesOnWhenTheDeviceIsLostMidPlay)
{
    const auto tone = Tone(44100, 2, 1.2);
    const double bytesPerSecond = 176400.0;
    for (const int replacements : {1, 0}) {
        auto log = std::make_shared<DeviceLog>();
        auto opened = std::make_shared<std::atomic<int>>(0);
        Playback playback(OpenTone(tone), InfoOf(*tone), AudioOutput::DefaultDevice,
                          FakeDevices(log, 300ms, replacements, opened));
        playback.Start();
        ASSERT_TRUE(WaitForMovement(playback));
        // No leap either way and no long stall: the whole piece takes its own length.
        const double took = FollowToTheEnd(playback, 5s);
        ASSERT_TRUE(playback.Finished()) << replacements;
        EXPECT_NEAR(took, 1.2, 0.12) << replacements;
        EXPECT_EQ(playback.PlayedBytes(), tone->bytes.size());
        EXPECT_GE(*opened, 2);

        std::lock_guard lock(log->mutex);
        if (replacements == 1) {
            // The new device was given the rest, from about where the lost one was heard.
            ASSERT_EQ(log->received.size(), 2u);
            const std::vector<std::uint8_t>& rest = log->received[1];
            ASSERT_LE(rest.size(), tone->bytes.size());
            EXPECT_TRUE(
                std::equal(rest.begin(), rest.end(), tone->bytes.end() - static_cast<std::ptrdiff_t>(rest.size())));
            EXPECT_NEAR((tone->bytes.size() - rest.size()) / bytesPerSecond, 0.3, 0.06);
        } else {
            EXPECT_EQ(log->received.size(), 1u);
            EXPECT_FALSE(playback.OnDeviceClock());
        }
    }
}

TEST(Playback, EndsPromptlyWhenDestroyedWhilePlaying)
{
    const auto begin = Clock::now();
    {
        const auto tone = Tone(44100, 2, 30.0);
        Playback playback(OpenTone(tone), InfoOf(*tone), AudioOutput::DefaultDevice);
        playback.Start();
        std::this_thread::sleep_for(100ms);
    }
    // A 30 s piece: waiting for its end would show here.
    EXPECT_LT(Seconds(Clock::now() - begin), 10.0);
}

std::uint64_t PrivateBytes()
{
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters));
    return counters.PrivateUsage;
}

TEST(Playback, HoldsOnlyAFewSecondsOfALongFile)
{
    const std::wstring path = WriteToneWav(L"long.wav", 44100, 2, 300.0);  // 53 MB of samples
    const std::wstring fullPath = ResolveReadableFile(path);
    const FileLayout layout = ProbeAudioFile(fullPath).value();
    const std::uint64_t before = PrivateBytes();
    Playback playback([=] { return OpenFileSource(fullPath, layout); }, layout.info, AudioOutput::Silent);
    EXPECT_EQ(playback.LengthBytes(), 300u * 176400);
    playback.Start();
    for (int i = 0; i < 10; ++i) {
        std::this_thread::sleep_for(100ms);
        EXPECT_LE(playback.HeldBytes(), 5u * 176400);
    }
    EXPECT_GT(playback.HeldBytes(), 176400u);  // it does decode ahead
    EXPECT_LT(PrivateBytes() - std::min(before, PrivateBytes()), 16u << 20);
}

bool NoDevice()
{
    return false;
}

std::unique_ptr<OutputDevice> OpenNoDevice(const PcmFormat&)
{
    return nullptr;
}

TEST(AudioLibrary, WithoutAnyDevicePlaysAgainstTheRealTimeClock)
{
    AudioLibrary library(NoDevice, OpenNoDevice);
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

// A device that takes its time to open, as some do: the calls a frame makes
// answer meanwhile, the position waits at 0, then the whole piece plays from
// its first byte.
TEST(AudioLibrary, ASlowDeviceHoldsNoCallBackAndThePositionWaitsForIt)
{
    auto log = std::make_shared<DeviceLog>();
    const DeviceOpener fakes = FakeDevices(log, std::nullopt, 0, std::make_shared<std::atomic<int>>(0));
    auto opening = std::make_shared<std::atomic<bool>>(false);
    auto release = std::make_shared<std::atomic<bool>>(false);
    AudioLibrary library(NoDevice, [=](const PcmFormat& format) {
        *opening = true;
        const auto giveUp = Clock::now() + 10s;
        while (!*release && Clock::now() < giveUp) {
            std::this_thread::sleep_for(1ms);
        }
        *opening = false;
        return fakes(format);
    });
    const std::vector<std::uint8_t> wav = MakeWav(44100, 2, 26460);  // 0.6 s
    const std::wstring path = AudioFilePath(L"slow-device.wav");
    ASSERT_TRUE(WriteFileBytes(path, wav));
    ASSERT_TRUE(library.Init(-1));
    const std::uint32_t handle = library.CreateStream(path);
    ASSERT_NE(handle, 0u);
    ASSERT_TRUE(library.Start(handle));
    for (int i = 0; i < 200 && !*opening; ++i) {
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_TRUE(*opening);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(library.PlayedBytes(handle), 0u);
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(*opening);  // every answer above came while the device was still opening

    *release = true;
    const auto deadline = Clock::now() + 5s;
    std::uint64_t first = 0;
    while (first == 0 && Clock::now() < deadline) {
        first = *library.PlayedBytes(handle);
    }
    EXPECT_GT(first, 0u);
    EXPECT_LT(*library.BytesToSeconds(handle, first), 0.05);  // from the start, not from when it was asked for
    while (*library.PlayedBytes(handle) < wav.size() - 44 && Clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(library.PlayedBytes(handle), wav.size() - 44);
    std::lock_guard lock(log->mutex);
    ASSERT_EQ(log->received.size(), 1u);
    EXPECT_TRUE(log->received[0] == WavSamples(wav));  // nothing skipped, nothing twice
}

}  // namespace
