// Plays one stream once, from its start to its end, decoding it a few
// seconds ahead of what is heard, and reports how much of it has been heard.
// One thread decodes and another feeds the device, so a slow stretch of
// decoding on a busy machine never keeps the device waiting.
//
// How the library is built around it (the exported calls are in bass.cpp,
// what they do in bass_calls.cpp, their state in AudioLibrary):
//
// Threads
// - The caller's threads, through the exported calls: any thread, in any COM
//   apartment or none. AudioLibrary hands them a Playback by handle; they
//   call Start, PlayedBytes and the other getters. A device or a decoder
//   they never touch: the position comes from the clock (PlaybackClock)
//   to which the feeding thread hands the device's readings. They never
//   enter COM themselves.
// - Short-lived threads in COM's multithreaded apartment (RunOnMtaThread):
//   the work a caller's thread needs from COM in its own call, such as
//   decoding a whole file through Media Foundation or asking whether there
//   is a default device. The caller waits for them.
// - The decoding thread of each Playback (Decode), in the multithreaded
//   apartment: starts the feeding thread, then owns the source (it makes
//   the decoder) and appends to the queue what it decodes, dropping what
//   has been heard.
// - The feeding thread of each Playback (Feed), in the multithreaded
//   apartment, with the multimedia class scheduler's audio priority (or the
//   highest normal one where that cannot be had): owns the output device,
//   the only thread that opens, feeds, starts, reads or destroys one; it
//   copies from the queue to the device, hands the device's clock readings
//   (position and performance-counter time) to the clock, and moves the
//   clock from one device to the next or to the real-time clock.
// No exception leaves either thread: one that fails that way (memory, a
// thread that cannot be made) ends the stream where it got to.
// - The system's threads that call DefaultDeviceWatch when the default
//   device changes: they only set a flag that the feeding thread reads.
//
// Locks
// - AudioLibrary::mutex guards the library's state and the table of
//   streams; it is let go before any call into a Playback.
// - Playback::mutex guards the clock (state, PlaybackClock, segment), how
//   far decoding got, and the device pointer. The feeding thread calls its
//   device without it.
// - Playback::queueMutex guards the queue of decoded PCM.
// No thread holds two of these at once, and nothing calls into a device or a
// decoder while holding one.
//
// What may block
// - PlayedBytes, Finished and the other getters: for the other threads'
//   short turns under the locks; never for a device.
// - Start: for the lock only; the device is opened by the feeding thread,
//   and until it plays the position stays at 0.
// - AudioLibrary::CreateStream: for reading the file's head and starting one
//   thread (a millisecond or two), or, for a file whose layout is not known,
//   for decoding the whole of it (a second or so for minutes of music).
// - Stop and the destructor: until both threads have ended, at most one
//   device or decoder call each.
#pragma once

#include "audio/output_device.h"
#include "audio/pcm_queue.h"
#include "audio/pcm_source.h"
#include "audio/playback_clock.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

enum class AudioOutput {
    DefaultDevice,  // the default output device; silent clock while there is none that works
    Silent,         // no device: a real-time clock stands in for it
};

// Where the position comes from.
enum class PositionClock {
    None,      // not playing yet: the position is 0
    Device,    // an output device's clock
    RealTime,  // the real-time clock, silently
};

// Microseconds on a clock that never goes back; the real-time clock reads it.
using MicrosecondClock = std::function<std::uint64_t()>;

// The system's performance counter in microseconds.
std::uint64_t SystemMicroseconds();

class Playback {
public:
    // Starts the library's threads: one opens the source and decodes ahead.
    // A source that cannot be read, or is not in the format of `stream`,
    // plays as a stream that ends at once. Without a decoder on the system
    // the stream plays silently on the real-time clock for its stated length.
    Playback(SourceOpener sourceOpener, const StreamInfo& stream, AudioOutput out,
             DeviceOpener deviceOpener = OpenDefaultOutputDevice, MicrosecondClock time = SystemMicroseconds);
    ~Playback();
    Playback(const Playback&) = delete;
    Playback& operator=(const Playback&) = delete;

    // Starts playing on the first call; later calls change nothing.
    void Start();
    // Ends both threads; the device is let go before this returns. Called
    // once, by the library's end or the destructor; the getters still answer.
    void Stop();
    // Stop's two halves, for an end that may not wait long: the request
    // returns at once; the wait is for both threads to have ended, at most
    // `timeoutMs`, and is true when they have.
    void RequestStop();
    bool WaitStopped(DWORD timeoutMs);

    // Bytes of the stream played so far: 0 before the start, never
    // decreasing, stopping at the end of the stream or at the last good
    // sample before a decoding error. Safe on any thread at any time.
    std::uint64_t PlayedBytes();

    // Pauses a stream that plays: the position stands exactly still from
    // now, and the device stops. False before the start, at the end, or
    // when paused already.
    bool Pause();
    // Goes on from where a paused stream stands, or one stopped where a seek
    // sent it; false when it is neither.
    bool Resume();
    // Moves a stream to `target` bytes (on a frame, before the end), whether
    // it plays, is paused or ended: the position reads it at once, and the
    // device drops what it was given and is fed from there. One that had
    // ended stays stopped there until Resume. A source opened again starts at
    // `sourceStart` (the start of a looping stream's pass).
    void Seek(std::uint64_t target, std::uint64_t sourceStart = 0);

    enum class Activity { Stopped, Playing, Stalled, Paused };
    // Stopped before the start and at the end; Stalled while the position
    // waits for decoding to reach it.
    Activity Status();

    // True once the whole stream, as far as it decoded, has been played.
    bool Finished();
    PositionClock ClockInUse();
    // Decoded bytes held in memory.
    std::size_t HeldBytes();
    // How far decoding got from the start, and whether it has stopped there
    // (at the end, at an error, or with nothing to decode).
    struct DecodeProgress {
        std::uint64_t bytes = 0;
        bool stopped = false;
    };
    DecodeProgress Decoded();

    const PcmFormat& Format() const { return info.format; }
    // Bytes from the start to the end, as the file states them.
    std::uint64_t LengthBytes() const { return info.lengthBytes; }

private:
    enum class State { Idle, Opening, DeviceClock, RealTimeClock };

    void Feed();
    void FeedUntilStopped();
    void Decode();
    void DecodeUntilStopped(bool com);
    void DecodeAhead();
    void FinishSource(std::uint64_t end);
    // The stream ends at `end` bytes, or before where it was ended already.
    void EndStreamLocked(std::uint64_t end);
    void ServeOutput();
    void TryDevice();
    bool FeedDevice();
    void LeaveDevice(bool failed);
    bool Fill(OutputDevice& target, std::uint64_t heard);
    std::uint64_t EndLocked() const;
    // Bytes played at `time`.
    std::uint64_t PositionLocked(std::uint64_t time);
    // Tells the clock, as of `time`, how far it may run: what the device
    // was given, or what was decoded, and never past the end.
    void LimitClockLocked(std::uint64_t time);
    // From `time` on the real-time clock stands in, from the position reached.
    void RunOnRealTimeLocked(std::uint64_t time);
    // Feeding thread: hands the clock the device's reading of its own.
    void ReadDeviceClockLocked(const std::optional<DevicePosition>& played);
    // Feeding thread: carries a seek, a pause or a resumption to the device.
    // False when the device failed.
    bool SteerDevice();
    // Decoding thread: serves a seek from what is held, or from the source
    // opened again and decoded up to the new place.
    void ApplySeek();

    const SourceOpener openSource;
    const DeviceOpener openDevice;
    const MicrosecondClock now;
    const AudioOutput output;
    const StreamInfo info;

    std::mutex mutex;  // guards everything down to the queue
    State state = State::Idle;
    // Called, and replaced under the lock, by the feeding thread alone; the
    // other threads only ask under the lock whether there is one (LimitClockLocked).
    std::unique_ptr<OutputDevice> device;
    std::uint64_t segmentBase = 0;    // stream offset where the current device began
    std::uint64_t segmentQueued = 0;  // bytes queued on the current device
    PlaybackClock clock;              // in frames
    std::uint64_t decodedEnd = 0;
    std::optional<std::uint64_t> sourceEnd;  // where decoding ended or failed, or the stream was ended
    // No device plays the stream (there is nothing to decode it with, or no
    // feeding thread): the real-time clock stands in from the start.
    bool deviceless = false;
    // Nothing is decoded: the real-time clock runs on to the stated length.
    bool undecoded = false;
    bool paused = false;
    // Paused by a seek after the end: it stays stopped where it was sent, as
    // the vendor's library leaves it, until resumed.
    bool stoppedBySeek = false;
    // A seek the decoding thread has yet to serve, and where a source opened
    // again would start; one the feeding thread has yet to carry to the device.
    struct SeekRequest {
        std::uint64_t target = 0;
        std::uint64_t sourceStart = 0;
    };
    std::optional<SeekRequest> decoderSeek;
    std::optional<std::uint64_t> deviceSeek;
    // A stream that had let its device go plays again: the feeding thread opens one.
    bool deviceWanted = false;

    std::mutex queueMutex;  // guards the queue, shared by the two threads
    PcmQueue queue;

    // The decoding thread's own state.
    std::unique_ptr<PcmSource> source;
    std::vector<std::uint8_t> chunk;

    // The feeding thread's own state.
    std::vector<std::uint8_t> scratch;
    std::uint64_t writeCursor = 0;        // stream offset of the next byte for the device
    std::uint64_t nextDeviceAttempt = 0;  // microseconds
    std::uint64_t drainDeadline = 0;      // microseconds
    bool deviceDone = false;
    bool deviceStarted = false;  // the device plays (not stopped for a pause)

    struct HandleCloser {
        void operator()(HANDLE handle) const { CloseHandle(handle); }
    };
    using OwnedHandle = std::unique_ptr<void, HandleCloser>;

    bool running = false;  // whether the threads were started; set before they are
    std::atomic<bool> stopRequested{false};
    const OwnedHandle stopEvent;
    const OwnedHandle wakeEvent;
    const OwnedHandle seekEvent;   // wakes the decoding thread
    const OwnedHandle endedEvent;  // set by the decoding thread once both have ended
    std::thread decoder;
    std::thread feeder;  // started and joined by the decoding thread
};
