// Plays one stream, decoding it a few seconds ahead of what is heard and
// keeping what was heard lately (StreamDecoder says how much) for a seek
// back, and reports how much of it has been heard. It is started, paused,
// resumed and sent anywhere within it by its callers. One thread decodes and
// another feeds the device, so a slow stretch of decoding on a busy machine
// never keeps the device waiting.
//
// How the library is built around it (the exported calls are in bass.cpp,
// what they do in bass_calls.cpp, their state in AudioLibrary):
//
// Threads
// - The caller's threads, through the exported calls: any thread, in any COM
//   apartment or none. AudioLibrary hands them a Playback by handle; they
//   call Start, PlayedBytes and the other getters, which read and change the
//   shared PlaybackState, and HeldBytes, which reads the queue. A device or a
//   decoder they never touch: the position comes from the clock
//   (PlaybackClock) to which the feeding thread hands the device's readings.
//   They never enter COM themselves.
// - Short-lived threads in COM's multithreaded apartment (RunOnMtaThread):
//   the work a caller's thread needs from COM in its own call, such as
//   decoding a whole file through Media Foundation or asking whether there
//   is a default device. The caller waits for them.
// - The decoding thread of each Playback (StreamDecoder), in the
//   multithreaded apartment: starts the feeding thread, then owns the source
//   (it makes the decoder) and appends to the queue what it decodes, letting
//   go of what was heard longer ago than the stretch kept for a seek back.
//   Its handle is the sign that both threads are gone: it joins the feeding
//   thread before it returns.
// - The feeding thread of each Playback (DeviceFeeder), in the multithreaded
//   apartment, with the multimedia class scheduler's audio priority (or the
//   highest normal one where that cannot be had): owns the output device,
//   the only thread that opens, feeds, starts, reads or destroys one; it
//   copies from the queue to the device, hands the device's clock readings
//   to the state, and moves the clock from one device to the next or to the
//   real-time clock. A device's take-over (its opening, first fill and
//   start) is one step as the callers see it: a seek at any moment of it is
//   carried to that device, as is one in the turn that finds a device
//   played out at the end.
// No exception leaves either thread: one that fails that way (memory, a
// thread that cannot be made) ends the stream where it got to.
// - The system's threads that call DefaultDeviceWatch when the default
//   device changes: they only set a flag that the feeding thread reads.
//
// Locks
// - AudioLibrary::mutex guards the library's state and the table of
//   streams; it is let go before any call into a Playback.
// - PlaybackState::mutex guards what the callers and both threads share:
//   the clock, the hold, how far decoding got and what the queue holds
//   (PlaybackState::PlaceLocked alone judges whether a place is held), the
//   seeks and device request pending.
// - StreamDecoder::queueMutex guards the queue of decoded PCM: the decoding
//   thread's appends and drops, the feeding thread's copies, the callers'
//   HeldBytes.
// No thread holds two of these at once, and nothing calls into a device or a
// decoder while holding one.
//
// What may block
// - PlayedBytes, Finished and the other getters: for the other threads'
//   short turns under the locks; never for a device.
// - Start: for the lock only; the device is opened by the feeding thread,
//   and until it plays the position stays where it stands (0, or where a
//   seek before the start sent it).
// - AudioLibrary::CreateStream: for reading the file's head and starting one
//   thread (a millisecond or two), or, for a file whose layout is not known,
//   for decoding the whole of it (a second or so for minutes of music).
// - Stop and the destructor: until both threads have ended, at most one
//   device or decoder call each.
// - AudioLibrary::EndAtExit (the runtime's exit): asks every stream to stop
//   and waits for their threads at most kExitWaitMs in all; threads still
//   running then (one inside a DLL's start-up, waiting for the exit's own
//   lock) are left to the process's end, with their stream.
#pragma once

#include "audio/device_feeder.h"
#include "audio/output_device.h"
#include "audio/pcm_source.h"
#include "audio/playback_state.h"
#include "audio/stream_decoder.h"
#include "audio/thread_events.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>

// The system's performance counter in microseconds.
std::uint64_t SystemMicroseconds();

class Playback {
public:
    // Starts the library's threads: one opens the source and decodes ahead.
    // A source that cannot be read, or is not in the format of `stream`,
    // plays as a stream that ends at once. Without a decoder on the system
    // the stream plays silently on the real-time clock for its stated length.
    // `keptBehind`: the bytes heard that are kept for a seek back.
    Playback(SourceOpener sourceOpener, const StreamInfo& stream, AudioOutput out,
             DeviceOpener deviceOpener = OpenDefaultOutputDevice, MicrosecondClock time = SystemMicroseconds,
             std::uint64_t keptBehind = kKeptBehindBytes);
    ~Playback();
    Playback(const Playback&) = delete;
    Playback& operator=(const Playback&) = delete;

    // Starts playing on the first call; later calls change nothing.
    void Start() { state.Start(); }
    // Ends both threads; the device is let go before this returns. Called
    // by the library's end and again by the destructor, where it finds them
    // ended; the getters still answer.
    void Stop();
    // Stop's two halves, for an end that may not wait long: the request
    // returns at once; the wait is for both threads to be gone (their last
    // notifications run), at most `timeoutMs`, and is true when they are.
    void RequestStop();
    bool WaitStopped(DWORD timeoutMs);

    // Bytes of the stream played so far: 0 before the start, never
    // decreasing but for a seek, which it reads at once; stopping at the end
    // of the stream or at the last good sample before a decoding error. Safe
    // on any thread at any time.
    std::uint64_t PlayedBytes() { return state.PlayedBytes(); }

    // Pauses a stream that plays: the position stands exactly still from
    // now, and the device stops. False before the start, at the end, or
    // when paused already.
    bool Pause() { return state.Pause(); }
    // Goes on from where a paused stream stands, or one stopped where a seek
    // sent it; false when it is neither.
    bool Resume() { return state.Resume(); }
    // Moves a stream to `target` bytes (on a frame, before the end), whether
    // it plays, is paused or ended: the position reads it at once, and the
    // device drops what it was given and is fed from there. One that had
    // ended stays stopped there until Resume. A source opened again starts at
    // `sourceStart` (the start of a looping stream's pass).
    void Seek(std::uint64_t target, std::uint64_t sourceStart = 0) { state.Seek(target, sourceStart); }

    using Activity = StreamActivity;
    // Stopped before the start and at the end; Stalled while the position
    // waits for decoding to reach it (not after a seek into what is held).
    Activity Status() { return state.Status(); }

    // True once the whole stream, as far as it decoded, has been played.
    bool Finished() { return state.Finished(); }
    PositionClock ClockInUse() { return state.ClockInUse(); }
    // Decoded bytes held in memory: ahead of the position and kept behind it.
    std::size_t HeldBytes() { return decoding.HeldBytes(); }
    using DecodeProgress = ::DecodeProgress;
    DecodeProgress Decoded() { return state.Decoded(); }

    const PcmFormat& Format() const { return info.format; }
    // Bytes from the start to the end, as the file states them.
    std::uint64_t LengthBytes() const { return info.lengthBytes; }

private:
    // The threads' bodies: their apartments, priority and failures.
    static unsigned __stdcall DecodeThread(void* playback);
    void Decode();
    void Feed();

    const StreamInfo info;
    std::atomic<bool> stopRequested{false};
    const OwnedHandle stopEvent;
    PlaybackState state;
    StreamDecoder decoding;
    DeviceFeeder feeding;
    std::thread feeder;  // started and joined by the decoding thread
    // Set in the constructor, before any other thread can ask; signalled once
    // the decoding thread is gone, which joined the feeding thread before.
    OwnedHandle decoder;
};
