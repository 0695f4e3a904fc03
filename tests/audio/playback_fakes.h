// The stand-ins the stream's tests drive the library with: a clock that
// moves only when the test moves it, sources that serve a piece of PCM and may
// fail, devices that play on that clock and log what they were given, and the
// steps that keep a test in time with the library's threads.
#pragma once

#include "audio/output_device.h"
#include "audio/pcm_source.h"
#include "audio/playback.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

inline constexpr std::uint64_t kSecond = 1'000'000;  // microseconds
inline constexpr std::uint64_t kMs = 1'000;

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
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > giveUp) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A step that a stand-in stops at, once armed, until the test lets it go on:
// the test does something at that very moment of the library's thread.
class Gate {
public:
    void Arm() { armed = true; }
    // The stand-in's call: waits there once, if armed.
    void Pass()
    {
        if (armed.exchange(false)) {
            waiting = true;
            WaitFor([this] { return released.load(); });
        }
    }
    // The test's: false when the thread never came there.
    bool Reached()
    {
        return WaitFor([this] { return waiting.load(); });
    }
    void Release() { released = true; }

private:
    std::atomic<bool> armed{false};
    std::atomic<bool> waiting{false};
    std::atomic<bool> released{false};
};

std::uint64_t BytesAt(const PcmFormat& format, std::uint64_t microseconds);

// A tone of `seconds`, as a file of it would hold it.
std::shared_ptr<const PcmAudio> Tone(std::uint32_t rate, std::uint16_t channels, double seconds);

// Stereo frames that hold their own number (low half left, high half right),
// so that bytes fed from a wrong place never pass for the right ones, as a
// tone's do one period later.
std::shared_ptr<const PcmAudio> Numbered(std::uint32_t rate, double seconds);

StreamInfo InfoOf(const PcmAudio& audio);

enum class Failure { None, Error, Throw };

// Opens a source that serves `tone` in small chunks, as a decoder does; at
// `failAt` bytes it fails, or throws as an allocation that fails would.
SourceOpener OpenTone(const std::shared_ptr<const PcmAudio>& tone, std::uint64_t failAt = UINT64_MAX,
                      Failure how = Failure::Error);

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
    int starts = 0;            // times the newest device was started
    std::size_t keptFrom = 0;  // where in its bytes received the last drop was
    int foreignCalls = 0;      // calls from a thread other than the one that opened it
    // A device whose clock failed was let go, and no other has been asked for since.
    bool lossUnanswered = false;
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
    // Called as it is started, and as its free space is asked for when it
    // has played all it was given, before it answers.
    std::function<void()> onStart;
    std::function<void()> onRunDry;
};

// The first device is of `first` kind; then `replacements` ones of `replacement` kind are there, then none.
DeviceOpener FakeDevices(const std::shared_ptr<DeviceLog>& log, const TestClock& clock,
                         const FakeDeviceKind& first = {}, int replacements = 0,
                         const FakeDeviceKind& replacement = {});

// A system without a device.
std::unique_ptr<OutputDevice> OpenNoDevice(const PcmFormat&);

// A system without a default device, for AudioLibrary's probe.
bool NoDevice();

// Moves the clock on by `step` once that much more than has been played is
// decoded and held by the device playing, if any (or everything up to the
// end), so that neither clock waits for data. A device that was started is
// first taken up and its clock read at this time, so that the time does not
// move between the two; one whose clock failed is first let go, and another
// asked for. False when that never comes.
bool Step(Playback& playback, TestClock& clock, DeviceLog& log, std::uint64_t step);

// Once playing, steps the clock to the end, checking that the position never
// goes back and never runs ahead of the clock; returns the time it took on the clock.
std::uint64_t FollowToTheEnd(Playback& playback, TestClock& clock, DeviceLog& log, std::uint64_t step = 50 * kMs);

// Once finished, nothing moves, loops or restarts it: not time, not a
// second start; and no device is held any more.
void ExpectStaysAt(Playback& playback, TestClock& clock, std::uint64_t end, DeviceLog& log);

// Whether the newest device's bytes since it last dropped what it held,
// `discards` drops in all, are the piece's from `target` on.
bool FedFrom(DeviceLog& log, const PcmAudio& piece, std::uint64_t target, int discards);
