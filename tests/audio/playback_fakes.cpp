#include "tests/audio/playback_fakes.h"

#include "tests/audio/audio_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <new>
#include <utility>

namespace {

// What OpenTone opens.
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
        log->lossUnanswered = false;
        log->discards = 0;
        log->starts = 0;
        log->keptFrom = 0;
        PublishLocked();
    }
    ~FakeDevice() override
    {
        if (kind.onRelease) {
            kind.onRelease();
        }
        std::lock_guard lock(log->mutex);
        --log->alive;
        log->lossUnanswered = log->lossUnanswered || failed;
    }

    std::uint32_t BufferFrames() const override { return format.sampleRate / 5; }
    std::optional<std::uint32_t> FreeFrames() override
    {
        ++log->freeFramesCalls;
        std::unique_lock lock(log->mutex);
        if (!PlayLocked()) {
            return std::nullopt;
        }
        if (kind.onRunDry && queued == playedMicroframes / kSecond) {
            lock.unlock();
            kind.onRunDry();
            lock.lock();
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
        if (kind.onStart) {
            kind.onStart();
        }
        std::lock_guard lock(log->mutex);
        started = true;
        startedAt = lastUpdate = clock.Now();
        ++log->starts;
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

}  // namespace

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

std::shared_ptr<const PcmAudio> Numbered(std::uint32_t rate, double seconds)
{
    auto audio = std::make_shared<PcmAudio>();
    audio->format = {.sampleRate = rate, .channels = 2};
    const auto frames = static_cast<std::uint32_t>(std::lround(seconds * rate));
    for (std::uint32_t frame = 0; frame < frames; ++frame) {
        for (const std::uint32_t half : {frame & 0xFFFFu, frame >> 16}) {
            audio->bytes.push_back(static_cast<std::uint8_t>(half));
            audio->bytes.push_back(static_cast<std::uint8_t>(half >> 8));
        }
    }
    return audio;
}

StreamInfo InfoOf(const PcmAudio& audio)
{
    return {.format = audio.format, .lengthBytes = audio.bytes.size()};
}

SourceOpener OpenTone(const std::shared_ptr<const PcmAudio>& tone, std::uint64_t failAt, Failure how)
{
    return [tone, failAt, how] { return OpenedSource{.source = std::make_unique<ToneSource>(tone, failAt, how)}; };
}

DeviceOpener FakeDevices(const std::shared_ptr<DeviceLog>& log, const TestClock& clock, const FakeDeviceKind& first,
                         int replacements, const FakeDeviceKind& replacement)
{
    auto opened = std::make_shared<std::atomic<int>>(0);
    return [=](const PcmFormat& format) -> std::unique_ptr<OutputDevice> {
        const int n = (*opened)++;
        if (n > replacements) {
            std::lock_guard lock(log->mutex);
            log->lossUnanswered = false;
            return nullptr;
        }
        return std::make_unique<FakeDevice>(format, log, clock, n == 0 ? first : replacement);
    };
}

std::unique_ptr<OutputDevice> OpenNoDevice(const PcmFormat&)
{
    return nullptr;
}

bool NoDevice()
{
    return false;
}

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
        if (log.received.empty() || (log.alive == 0 && !log.lossUnanswered)) {
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

std::uint64_t FollowToTheEnd(Playback& playback, TestClock& clock, DeviceLog& log, std::uint64_t step)
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
