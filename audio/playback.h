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
    uint64_t PlayedBytes();

    // True once the device (or the stand-in clock) has played the last byte.
    bool Finished();
    // True while the position comes from the output device's clock.
    bool OnDeviceClock();

    const PcmAudio& Audio() const { return audio; }

private:
    enum class State { Idle, Opening, DeviceClock, RealTimeClock };

    void Feed();
    void PlayOnDevice();
    void ContinueOnRealTimeClock();
    void AnchorLocked(uint64_t bytes);
    uint64_t CurrentBytesLocked();
    uint64_t DeviceBytesLocked();

    const PcmAudio audio;
    const AudioOutput output;
    const uint64_t totalBytes;

    std::mutex mutex;  // guards everything below but the stop request
    State state = State::Idle;
    Microsoft::WRL::ComPtr<IAudioClock> deviceClock;
    uint64_t clockFrequency = 0;
    uint64_t queuedBytes = 0;
    // The position never runs far ahead of real time from this anchor: a
    // device that swallows data faster than it plays (a null device) would
    // otherwise race through the piece.
    uint64_t anchorBytes = 0;
    LARGE_INTEGER anchorTime{};
    uint64_t lastReported = 0;

    std::atomic<bool> stopRequested{false};
    HANDLE stopEvent = nullptr;
    std::thread feeder;
};
