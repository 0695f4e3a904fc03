// Plays one stream once, from its start to its end, decoding it a few
// seconds ahead of what is heard, and reports how much of it has been heard.
// One thread decodes and another feeds the device, so a slow stretch of
// decoding on a busy machine never keeps the device waiting.
#pragma once

#include "audio/output_device.h"
#include "audio/pcm_queue.h"
#include "audio/pcm_source.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

enum class AudioOutput {
    DefaultDevice,  // the default output device; silent clock while there is none that works
    Silent,         // no device: a real-time clock stands in for it
};

class Playback {
public:
    // Starts the library's threads: one opens the source and decodes ahead.
    // A source that cannot be opened, or is not in the format of `stream`,
    // plays as a stream that ends at once.
    Playback(SourceOpener openSource, const StreamInfo& stream, AudioOutput output,
             DeviceOpener openDevice = OpenDefaultOutputDevice);
    ~Playback();
    Playback(const Playback&) = delete;
    Playback& operator=(const Playback&) = delete;

    // Starts playing on the first call; later calls change nothing.
    void Start();

    // Bytes of the stream played so far: 0 before the start, never
    // decreasing, stopping at the end of the stream or at the last good
    // sample before a decoding error. Safe on any thread at any time.
    std::uint64_t PlayedBytes();

    // True once the whole stream, as far as it decoded, has been played.
    bool Finished();
    // True while the position comes from an output device's clock.
    bool OnDeviceClock();
    // Decoded bytes held in memory.
    std::size_t HeldBytes();

    const PcmFormat& Format() const { return info.format; }
    // Bytes from the start to the end, as the file states them.
    std::uint64_t LengthBytes() const { return info.lengthBytes; }

private:
    enum class State { Idle, Opening, DeviceClock, RealTimeClock };

    void Feed();
    void Decode();
    void DecodeAhead();
    void FinishSource(std::uint64_t end);
    void ServeOutput();
    void TryDevice();
    bool FeedDevice();
    void LeaveDevice(bool failed);
    bool Fill(OutputDevice& target, std::uint64_t heard);
    void AnchorLocked(std::uint64_t bytes);
    std::uint64_t EndLocked() const;
    std::uint64_t CurrentBytesLocked();

    const SourceOpener openSource;
    const DeviceOpener openDevice;
    const AudioOutput output;
    const StreamInfo info;

    std::mutex mutex;  // guards everything down to the queue
    State state = State::Idle;
    std::unique_ptr<OutputDevice> device;  // replaced by the feeding thread only
    std::uint64_t segmentBase = 0;         // stream offset where the current device began
    std::uint64_t segmentQueued = 0;       // bytes queued on the current device
    // The position never runs far ahead of real time from this anchor: a
    // device that swallows data faster than it plays (a null device) would
    // otherwise race through the stream.
    std::uint64_t anchorBytes = 0;
    LARGE_INTEGER anchorTime{};
    std::uint64_t lastReported = 0;
    std::uint64_t decodedEnd = 0;
    std::optional<std::uint64_t> sourceEnd;  // where decoding ended or failed

    std::mutex queueMutex;  // guards the queue, shared by the two threads
    PcmQueue queue;

    // The decoding thread's own state.
    std::unique_ptr<PcmSource> source;
    std::vector<std::uint8_t> chunk;

    // The feeding thread's own state.
    std::vector<std::uint8_t> scratch;
    std::uint64_t writeCursor = 0;  // stream offset of the next byte for the device
    ULONGLONG nextDeviceAttempt = 0;
    ULONGLONG drainDeadline = 0;
    bool deviceDone = false;

    std::atomic<bool> stopRequested{false};
    HANDLE stopEvent = nullptr;
    HANDLE wakeEvent = nullptr;
    std::thread decoder;
    std::thread feeder;
};
