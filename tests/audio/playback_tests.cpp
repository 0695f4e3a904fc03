#include "audio/audio_file_probe.h"
#include "audio/audio_library.h"
#include "audio/bass_calls.h"
#include "audio/file_sources.h"
#include "audio/looping_source.h"
#include "audio/playback.h"
#include "audio/playback_clock.h"
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
#include <functional>
#include <future>
#include <mutex>
#include <new>
#include <random>
#include <thread>
#include <utility>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::uint64_t kSecond = 1'000'000;  // microseconds
constexpr std::uint64_t kMs = 1'000;

// A clock that moves only when the test moves it, so that what a test checks
// is bytes at a given time, not how long anything took.
class TestClock {
public:
    MicrosecondClock Reader() const
    {
        return [time = time] { return time->load(); };
    }
    std::uint64_t Now() const { return *time; }
    void Advance(std::uint64_t microseconds) { *time += microseconds; }

private:
    std::shared_ptr<std::atomic<std::uint64_t>> time = std::make_shared<std::atomic<std::uint64_t>>(kSecond);
};

// Waits for what the library's threads do; false only when they never get there.
template <class Condition>
bool WaitFor(Condition condition)
{
    const auto giveUp = Clock::now() + 10s;
    while (!condition()) {
        if (Clock::now() > giveUp) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

std::uint64_t BytesAt(const PcmFormat& format, std::uint64_t microseconds)
{
    const std::uint64_t bytes = microseconds * format.BytesPerSecond() / kSecond;
    return bytes - bytes % format.BlockAlign();
}

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

enum class Failure { None, Error, Throw };

// Serves a piece in small chunks, as a decoder does; at `failAt` bytes it
// fails, or throws as an allocation that fails would.
class ToneSource final : public PcmSource {
public:
    ToneSource(std::shared_ptr<const PcmAudio> tone, std::uint64_t failAt, Failure how)
        : audio(std::move(tone)), fail(failAt), failure(how)
    {
    }

    PcmFormat Format() const override { return audio->format; }
    ReadResult Read(std::vector<std::uint8_t>& chunk) override
    {
        constexpr std::uint64_t kChunk = 4607;  // not whole frames, as decoders may hand out
        chunk.clear();
        if (served >= fail && failure == Failure::Throw) {
            throw std::bad_alloc();
        }
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
    const Failure failure;
    std::uint64_t served = 0;
};

SourceOpener OpenTone(const std::shared_ptr<const PcmAudio>& tone, std::uint64_t failAt = UINT64_MAX,
                      Failure how = Failure::Error)
{
    return [tone, failAt, how] { return OpenedSource{.source = std::make_unique<ToneSource>(tone, failAt, how)}; };
}

// What the fake devices of one playback were given and did.
struct DeviceLog {
    std::mutex mutex;
    std::vector<std::vector<std::uint8_t>> received;  // one entry per device opened
    int alive = 0;                                    // devices not yet let go
    std::atomic<int> freeFramesCalls{0};
    // The newest device: frames given and played, whether it plays and whether its clock failed.
    std::uint64_t queued = 0;
    std::uint64_t played = 0;
    bool started = false;
    bool failed = false;
    std::uint64_t readAt = 0;  // when the library last read its clock
    int discards = 0;          // times the newest device dropped what it held
    std::size_t keptFrom = 0;  // where in its bytes received the last drop was
    int foreignCalls = 0;      // calls from a thread other than the one that opened it
};

struct FakeDeviceKind {
    std::optional<std::uint64_t> clockFailsAfter;   // its clock fails after playing this long
    std::optional<std::uint64_t> queueThrowsAfter;  // queueing throws after playing this long
    std::uint64_t clockStepsBackAt = UINT64_MAX;    // its clock reports 0.1 s less from then on
    bool brokenReadyEvent = false;                  // waiting for its event fails
    // Its clock tells where it stood this long before the call, with that
    // time, as a device that gives the time of the position itself.
    std::uint64_t readingAgeUs = 0;
    // Called as it is let go, before it counts as gone: a device call that takes its time.
    std::function<void()> onRelease;
};

// A device that plays on the test's clock what it is given, and waits when it runs dry.
class FakeDevice final : public OutputDevice {
public:
    FakeDevice(const PcmFormat& pcm, std::shared_ptr<DeviceLog> sink, TestClock time, FakeDeviceKind how)
        : format(pcm), log(std::move(sink)), clock(std::move(time)), kind(std::move(how))
    {
        std::lock_guard lock(log->mutex);
        index = log->received.size();
        log->received.emplace_back();
        ++log->alive;
        PublishLocked();
    }
    ~FakeDevice() override
    {
        if (kind.onRelease) {
            kind.onRelease();
        }
        std::lock_guard lock(log->mutex);
        --log->alive;
    }

    std::uint32_t BufferFrames() const override { return format.sampleRate / 5; }
    std::optional<std::uint32_t> FreeFrames() override
    {
        ++log->freeFramesCalls;
        std::lock_guard lock(log->mutex);
        if (!PlayLocked()) {
            return std::nullopt;
        }
        return BufferFrames() - static_cast<std::uint32_t>(queued - playedMicroframes / kSecond);
    }
    bool Queue(const std::uint8_t* data, std::uint32_t frames) override
    {
        std::lock_guard lock(log->mutex);
        PlayLocked();
        if (kind.queueThrowsAfter && started && clock.Now() - startedAt > *kind.queueThrowsAfter) {
            throw std::bad_alloc();
        }
        log->received[index].insert(log->received[index].end(), data, data + frames * format.BlockAlign());
        queued += frames;
        PublishLocked();
        return true;
    }
    bool Start() override
    {
        std::lock_guard lock(log->mutex);
        started = true;
        startedAt = lastUpdate = clock.Now();
        PublishLocked();
        return true;
    }
    bool Stop() override
    {
        std::lock_guard lock(log->mutex);
        PlayLocked();
        started = false;
        PublishLocked();
        return true;
    }
    bool Discard() override
    {
        std::lock_guard lock(log->mutex);
        started = false;
        queued = 0;
        playedMicroframes = 0;
        ++log->discards;
        log->keptFrom = log->received[index].size();
        PublishLocked();
        return true;
    }
    std::optional<DevicePosition> PlayedFrames() override
    {
        std::lock_guard lock(log->mutex);
        log->foreignCalls += std::this_thread::get_id() != owner ? 1 : 0;
        if (!PlayLocked()) {
            return std::nullopt;
        }
        const std::uint64_t frames = playedMicroframes / kSecond;
        const std::uint64_t stepBack = clock.Now() - startedAt >= kind.clockStepsBackAt ? format.sampleRate / 10 : 0;
        const std::uint64_t age = kind.readingAgeUs * format.sampleRate / kSecond;
        log->readAt = clock.Now();
        return DevicePosition{.frames = frames - std::min(frames, stepBack + age),
                              .time = log->readAt - kind.readingAgeUs};
    }
    HANDLE ReadyEvent() const override
    {
        return kind.brokenReadyEvent ? reinterpret_cast<HANDLE>(std::uintptr_t{0x0BAD0000}) : nullptr;
    }

private:
    // Plays up to now what is queued; false once its clock has failed.
    bool PlayLocked()
    {
        if (started) {
            const std::uint64_t now = clock.Now();
            playedMicroframes = std::min(queued * kSecond, playedMicroframes + (now - lastUpdate) * format.sampleRate);
            lastUpdate = now;
            failed = failed || (kind.clockFailsAfter && now - startedAt > *kind.clockFailsAfter);
        }
        PublishLocked();
        return !failed;
    }
    void PublishLocked()
    {
        if (index + 1 == log->received.size()) {
            log->queued = queued;
            log->played = playedMicroframes / kSecond;
            log->started = started;
            log->failed = failed;
        }
    }

    const PcmFormat format;
    const std::shared_ptr<DeviceLog> log;
    const TestClock clock;
    const FakeDeviceKind kind;
    const std::thread::id owner = std::this_thread::get_id();
    std::size_t index = 0;
    std::uint64_t queued = 0;
    std::uint64_t playedMicroframes = 0;  // frames played times a million
    bool started = false;
    bool failed = false;
    std::uint64_t startedAt = 0;
    std::uint64_t lastUpdate = 0;
};

// The first device is of `first` kind; then `replacements` plain ones are there, then none.
DeviceOpener FakeDevices(const std::shared_ptr<DeviceLog>& log, const TestClock& clock,
                         const FakeDeviceKind& first = {}, int replacements = 0)
{
    auto opened = std::make_shared<std::atomic<int>>(0);
    return [=](const PcmFormat& format) -> std::unique_ptr<OutputDevice> {
        const int n = (*opened)++;
        if (n > replacements) {
            return nullptr;
        }
        return std::make_unique<FakeDevice>(format, log, clock, n == 0 ? first : FakeDeviceKind{});
    };
}

std::unique_ptr<OutputDevice> OpenNoDevice(const PcmFormat&)
{
    return nullptr;
}

// Moves the clock on by `step` once that much more than has been played is
// decoded and held by the device playing, if any (or everything up to the
// end), so that neither clock waits for data. A device that was started is
// first taken up and its clock read at this time, so that the time does not
// move between the two; one whose clock failed is first let go. False when
// that never comes.
bool Step(Playback& playback, TestClock& clock, DeviceLog& log, std::uint64_t step)
{
    const std::uint32_t blockAlign = playback.Format().BlockAlign();
    const std::uint64_t stepFrames = BytesAt(playback.Format(), step) / blockAlign;
    const bool fed = WaitFor([&] {
        const std::uint64_t position = playback.PlayedBytes() / blockAlign;
        const Playback::DecodeProgress decoded = playback.Decoded();
        if (!decoded.stopped && decoded.bytes / blockAlign < position + stepFrames) {
            return false;
        }
        const bool onDevice = playback.ClockInUse() == PositionClock::Device;
        std::lock_guard lock(log.mutex);
        if (log.alive == 0 || log.received.empty()) {
            return true;
        }
        if (log.failed || !log.started || !onDevice || log.readAt != clock.Now()) {
            return false;
        }
        const std::uint64_t ahead = log.queued - log.played;
        return ahead >= stepFrames || position + ahead >= playback.LengthBytes() / blockAlign;
    });
    clock.Advance(step);
    return fed;
}

// Once playing, steps the clock to the end, checking that the position never
// goes back and never runs ahead of the clock; returns the time it took on the clock.
std::uint64_t FollowToTheEnd(Playback& playback, TestClock& clock, DeviceLog& log, std::uint64_t step = 50 * kMs)
{
    EXPECT_TRUE(WaitFor([&] { return playback.ClockInUse() != PositionClock::None; }));
    const std::uint64_t begin = clock.Now();
    const std::uint64_t lead = BytesAt(playback.Format(), 20 * kMs);  // what a device's clock may run ahead
    const std::uint64_t first = playback.PlayedBytes();
    std::uint64_t last = first;
    for (int i = 0; i < 1000 && !playback.Finished(); ++i) {
        if (!Step(playback, clock, log, step)) {
            ADD_FAILURE() << "the device was never given more, nor let go, at " << last;
            break;
        }
        const std::uint64_t now = playback.PlayedBytes();
        EXPECT_GE(now, last);
        EXPECT_LE(now - first, BytesAt(playback.Format(), clock.Now() - begin) + lead) << "at " << now;
        EXPECT_EQ(now % playback.Format().BlockAlign(), 0u);
        last = now;
    }
    EXPECT_TRUE(WaitFor([&] { return playback.Finished(); }));
    return clock.Now() - begin;
}

// Once finished, nothing moves, loops or restarts it: not time, not a
// second start; and no device is held any more.
void ExpectStaysAt(Playback& playback, TestClock& clock, std::uint64_t end, DeviceLog& log)
{
    EXPECT_TRUE(playback.Finished());
    EXPECT_EQ(playback.PlayedBytes(), end);
    playback.Start();
    clock.Advance(kSecond);
    EXPECT_EQ(playback.PlayedBytes(), end);
    EXPECT_TRUE(playback.Finished());
    EXPECT_TRUE(WaitFor([&] {
        std::lock_guard lock(log.mutex);
        return log.alive == 0;
    }));
}

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

// A decoding error, or an exception on the decoding thread (memory that
// cannot be had), ends the stream at the last good sample: the device hears
// the good samples and nothing after them, then is let go.
TEST(Playback, EndsCleanlyAtTheLastGoodSampleOfAFailingDecode)
{
    const auto tone = Tone(44100, 2, 0.8);
    const std::uint64_t failAt = tone->bytes.size() / 2 + 3;  // inside a frame
    const std::uint64_t lastGood = failAt - failAt % 4;
    for (const Failure failure : {Failure::Error, Failure::Throw}) {
        for (const AudioOutput output : {AudioOutput::Silent, AudioOutput::DefaultDevice}) {
            TestClock clock;
            auto log = std::make_shared<DeviceLog>();
            Playback playback(OpenTone(tone, failAt, failure), InfoOf(*tone), output, FakeDevices(log, clock),
                              clock.Reader());
            playback.Start();
            const std::uint64_t took = FollowToTheEnd(playback, clock, *log);
            EXPECT_GE(took, 400 * kMs);
            EXPECT_LE(took, 450 * kMs);
            ExpectStaysAt(playback, clock, lastGood, *log);
            EXPECT_EQ(playback.LengthBytes(), tone->bytes.size());  // as the file states it

            std::lock_guard lock(log->mutex);
            if (output == AudioOutput::DefaultDevice) {
                ASSERT_EQ(log->received.size(), 1u);
                EXPECT_TRUE(std::equal(log->received[0].begin(), log->received[0].end(), tone->bytes.begin()));
                EXPECT_EQ(log->received[0].size(), lastGood);
            }
        }
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

// Whether the newest device's bytes since it last dropped what it held, one
// drop in all, are the piece's from `target` on.
bool FedFrom(DeviceLog& log, const PcmAudio& piece, std::uint64_t target, int discards)
{
    std::lock_guard lock(log.mutex);
    if (log.received.empty() || log.discards != discards) {
        return false;
    }
    const std::vector<std::uint8_t>& got = log.received.back();
    const std::size_t fed = got.size() - log.keptFrom;
    return fed > 0 && fed <= piece.bytes.size() - target &&
           std::equal(got.begin() + static_cast<std::ptrdiff_t>(log.keptFrom), got.end(),
                      piece.bytes.begin() + static_cast<std::ptrdiff_t>(target));
}

// Seeks ahead within what is held, and back before it (the source opened
// again): the position reads the new place at once and never a time before
// it, and the device drops what it held and is fed from there. Paused, the
// position stands exactly still and the device stops; a seek while paused
// stays paused; resumed, both go on. On a device that took over from a lost
// one, and on the real-time clock.
TEST(Playback, SeeksPausesAndResumes)
{
    const auto tone = Tone(44100, 2, 8.0);
    for (const bool withDevice : {true, false}) {
        TestClock clock;
        auto log = std::make_shared<DeviceLog>();
        auto opened = std::make_shared<std::atomic<int>>(0);
        const SourceOpener openTone = OpenTone(tone);
        Playback playback(
            [=] {
                ++*opened;
                return openTone();
            },
            InfoOf(*tone), withDevice ? AudioOutput::DefaultDevice : AudioOutput::Silent,
            FakeDevices(log, clock, {.clockFailsAfter = 300 * kMs}, 1), clock.Reader());
        EXPECT_EQ(playback.Status(), Playback::Activity::Stopped);
        EXPECT_FALSE(playback.Pause());  // not started
        playback.Start();
        ASSERT_TRUE(WaitFor([&] { return playback.ClockInUse() != PositionClock::None; }));
        const auto stepFrom = [&](std::uint64_t target, int steps) {
            for (int i = 0; i < steps; ++i) {
                ASSERT_TRUE(Step(playback, clock, *log, 50 * kMs)) << withDevice << " from " << target;
                const std::uint64_t now = playback.PlayedBytes();
                EXPECT_GE(now, target) << withDevice;
                EXPECT_LE(now, target + BytesAt(tone->format, (i + 1) * 50 * kMs + 20 * kMs)) << withDevice;
            }
        };
        stepFrom(0, 10);
        EXPECT_EQ(playback.Status(), Playback::Activity::Playing);
        {
            // What follows is on the device that took over from a lost one.
            std::lock_guard lock(log->mutex);
            EXPECT_EQ(log->received.size(), withDevice ? 2u : 0u);
        }

        const std::uint64_t ahead = BytesAt(tone->format, 3 * kSecond);
        playback.Seek(ahead + 3);
        EXPECT_EQ(playback.PlayedBytes(), ahead) << withDevice;
        EXPECT_TRUE(!withDevice || WaitFor([&] { return FedFrom(*log, *tone, ahead, 1); }));
        stepFrom(ahead, 5);
        EXPECT_EQ(*opened, 1) << withDevice;  // served from what was held

        const std::uint64_t back = BytesAt(tone->format, kSecond);
        playback.Seek(back);
        EXPECT_EQ(playback.PlayedBytes(), back) << withDevice;
        EXPECT_TRUE(!withDevice || WaitFor([&] { return FedFrom(*log, *tone, back, 2); }));
        stepFrom(back, 5);
        EXPECT_EQ(*opened, 2) << withDevice;

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
        const std::uint64_t later = BytesAt(tone->format, 6 * kSecond);
        playback.Seek(later);
        EXPECT_TRUE(!withDevice || WaitFor([&] { return FedFrom(*log, *tone, later, 3); }));
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
        EXPECT_EQ(playback.PlayedBytes(), tone->bytes.size());
        EXPECT_EQ(playback.Status(), Playback::Activity::Stopped);
        EXPECT_FALSE(playback.Pause());  // at the end
    }
}

// A 30 s piece on a clock that never moves: a destructor that waited for its end would never return.
TEST(Playback, EndsWhenDestroyedWhilePlaying)
{
    const auto tone = Tone(44100, 2, 30.0);
    TestClock clock;
    auto log = std::make_shared<DeviceLog>();
    {
        Playback playback(OpenTone(tone), InfoOf(*tone), AudioOutput::DefaultDevice, FakeDevices(log, clock),
                          clock.Reader());
        playback.Start();
        ASSERT_TRUE(WaitFor([&] { return playback.ClockInUse() == PositionClock::Device; }));
    }
    std::lock_guard lock(log->mutex);
    EXPECT_EQ(log->alive, 0);
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
    // At the program's exit the same, once; after the loader's last notice, nothing.
    library.EndAtExit();
    EXPECT_FALSE(library.PlayedBytes(again).has_value());
    ASSERT_TRUE(library.Init(-1));
    library.EndAtExit();
    EXPECT_FALSE(library.Init(-1));  // still started
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

// Reads a looping source until `bytes` have come or it stops; the reading ends with its last result.
std::vector<std::uint8_t> ReadLooping(const SourceOpener& open, std::uint64_t bytes, ReadResult& last)
{
    std::vector<std::uint8_t> read;
    const std::unique_ptr<PcmSource> source = open().source;
    std::vector<std::uint8_t> chunk;
    last = ReadResult::Data;
    while (read.size() < bytes && (last = source->Read(chunk)) == ReadResult::Data) {
        read.insert(read.end(), chunk.begin(), chunk.end());
    }
    return read;
}

// Each pass is the stream's stated length exactly, whatever its source gives,
// so that a position modulo that length is the position in the pass.
TEST(LoopingSource, PlaysEachPassFromTheStartCutOrFilledToTheStatedLength)
{
    const auto tone = Tone(8000, 1, 0.5);
    const std::uint64_t size = tone->bytes.size();
    for (const std::uint64_t pass : {size, size - 1000, size + 1000}) {
        ReadResult last = ReadResult::End;
        const std::vector<std::uint8_t> read = ReadLooping(LoopingOpener(OpenTone(tone), pass), 3 * pass, last);
        ASSERT_EQ(read.size(), 3 * pass);
        std::vector<std::uint8_t> expected(tone->bytes.begin(),
                                           tone->bytes.begin() + static_cast<std::ptrdiff_t>(std::min(pass, size)));
        expected.resize(pass, 0);
        for (std::uint64_t start = 0; start < read.size(); start += pass) {
            EXPECT_TRUE(std::equal(expected.begin(), expected.end(), read.begin() + static_cast<std::ptrdiff_t>(start)))
                << pass << " at " << start;
        }
    }
    // A decoding error ends the stream there, and a source with nothing in it ends at once.
    ReadResult last = ReadResult::Data;
    EXPECT_EQ(ReadLooping(LoopingOpener(OpenTone(tone, 1000), size), 3 * size, last).size(), 1000u);
    EXPECT_EQ(last, ReadResult::Error);
    EXPECT_TRUE(ReadLooping(LoopingOpener(OpenTone(Tone(8000, 1, 0.0)), size), size, last).empty());
    EXPECT_EQ(last, ReadResult::End);
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
    ASSERT_TRUE(library.Play(once, true));
    EXPECT_EQ(library.PlayedBytes(once), 0u);
    EXPECT_FALSE(library.SetPosition(once + 5, 0));
    EXPECT_FALSE(library.Play(once + 5, false));
    EXPECT_EQ(library.Activity(once + 5), Playback::Activity::Stopped);
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
