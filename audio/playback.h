// Plays one decoded piece once, from its start to its end, and reports how
// much of it has been heard.
#pragma once

#include "audio/pcm_audio.h"

#include <windows.h>
#include <audioclient.h>
#include <wrl/client.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

enum class AudioOutput {
    DefaultDevice,  // the default output device; silent clock if it cannot be used
    Silent,         // no device: a real-time clock stands in for it
};

class Playback {
public:
    Playback(PcmAudio audio, AudioOutput output);
    ~Playback();
    Playback(const Playback&) = delete;
    Playback& operator=(const Playback&) = delete;

    // Starts playing on the first call; later calls change nothing.
    void Start();

    // Bytes of the piece played so far: 0 before the start, the whole size
    // after the end, never decreasing. Safe on any thread at any time.
    std::uint64_t PlayedBytes();

    // True once the device (or the stand-in clock) has played the last byte.
    bool Finished();
    // True while the position comes from the output device's clock.
    bool OnDeviceClock();

    const PcmAudio& Audio() const { return audio; }
    // Bytes from the start to the end, whole sample frames only.
    std::uint64_t TotalBytes() const { return totalBytes; }

private:
    enum class State { Idle, Opening, DeviceClock, RealTimeClock };

    void Feed();
    void PlayOnDevice();
    void ContinueOnRealTimeClock();
    void AnchorLocked(std::uint64_t bytes);
    std::uint64_t CurrentBytesLocked();
    std::uint64_t DeviceBytesLocked();

    const PcmAudio audio;
    const AudioOutput output;
    const std::uint64_t totalBytes;

    std::mutex mutex;  // guards everything below but the stop request
    State state = State::Idle;
    Microsoft::WRL::ComPtr<IAudioClock> deviceClock;
    std::uint64_t clockFrequency = 0;
    std::uint64_t queuedBytes = 0;
    // The position never runs far ahead of real time from this anchor: a
    // device that swallows data faster than it plays (a null device) would
    // otherwise race through the piece.
    std::uint64_t anchorBytes = 0;
    LARGE_INTEGER anchorTime{};
    std::uint64_t lastReported = 0;

    std::atomic<bool> stopRequested{false};
    HANDLE stopEvent = nullptr;
    std::thread feeder;
};
