// What a stream's callers and its two threads share, under one lock: whether
// and on which clock it plays, whether it is held, the position's clock and
// how far it may run, how far decoding got and where the source ended, the
// seeks the threads have yet to carry out and the request for a device. Each
// side has its own narrow calls and does its slow work (decoding, device
// calls) between them, never inside one.
#pragma once

#include "audio/output_device.h"
#include "audio/pcm_source.h"
#include "audio/playback_clock.h"
#include "audio/thread_events.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

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

enum class StreamActivity { Stopped, Playing, Stalled, Paused };

// How far decoding got from the start, and whether it has stopped there (at
// the end, at an error, or with nothing to decode).
struct DecodeProgress {
    std::uint64_t bytes = 0;
    bool stopped = false;
};

// A seek for the decoding thread: the new place, where a source opened again
// would start (the start of a looping stream's pass), and whether it must be:
// the place is before what the queue holds.
struct SeekRequest {
    std::uint64_t target = 0;
    std::uint64_t sourceStart = 0;
    bool reopen = false;
};

// Where the decoding thread found a place sought.
enum class SeekServed {
    FromQueue,        // held already, or ahead: decoding goes on from the queue's end
    FromSourceAgain,  // before what was held: the source was opened again
    Unreadable,       // before what was held, and the source cannot be opened again
};

// What the feeding thread is to do, taken in one turn of the lock.
struct FeederOrders {
    bool started = false;       // the stream was started
    bool opening = false;       // started, and no clock runs it yet
    bool deviceless = false;    // no device is to play it
    bool deviceWanted = false;  // a stream that let its device go plays again
    // For the device it has: a place to go to, dropping what it holds, and
    // whether it is to stand stopped or play.
    std::optional<std::uint64_t> seekTo;
    bool held = false;
};

// Where a device that takes over starts, and whether it is to wait, held.
struct DeviceStart {
    std::uint64_t from = 0;
    bool held = false;
};

class PlaybackState {
public:
    PlaybackState(const StreamInfo& stream, AudioOutput out, MicrosecondClock time);

    // Whether the threads can be woken and given a format to play.
    bool CanRun() const;
    // No thread will decode or feed the stream: it ends at once, and a start
    // runs the real-time clock.
    void RunWithoutThreads();
    // Signalled when the feeding thread has something to do, and when the
    // decoding thread has a seek to serve.
    HANDLE FeederWake() const { return feederWake.get(); }
    HANDLE DecoderWake() const { return decoderWake.get(); }

    // The callers' calls, which Playback describes.
    void Start();
    std::uint64_t PlayedBytes();
    bool Pause();
    bool Resume();
    void Seek(std::uint64_t target, std::uint64_t sourceStart);
    StreamActivity Status();
    bool Finished();
    PositionClock ClockInUse();
    DecodeProgress Decoded();

    // The decoding thread's calls.
    // There is no source: the system has no decoder for it (the real-time
    // clock then runs through its stated length) or it cannot be read (it ends at once).
    void NoteNoSource(bool noDecoder);
    std::optional<SeekRequest> TakeSeek();
    // Ignored when sought again meanwhile: the next TakeSeek serves that.
    // `queueBegin` and `queueEnd`: what the queue holds once it is served.
    void NoteSeekServed(std::uint64_t target, SeekServed how, std::uint64_t queueBegin, std::uint64_t queueEnd);
    // Before the queue lets go of what was heard: where the stretch kept
    // behind the position starts, from now on not held (a seek before it
    // opens the source again). Nothing while a seek waits, which may be for
    // a place there: nothing is let go then.
    std::optional<std::uint64_t> NoteKeptFrom(std::uint64_t keptBehind);
    // False when a seek is waiting: what was decoded is of the place before.
    bool NoteDecoded(std::uint64_t end);
    // The source ended, or failed, at `end` bytes.
    void NoteSourceEnded(std::uint64_t end);
    // The decoding thread failed (memory, or a feeding thread that could not
    // be made): the stream ends after what was decoded.
    void NoteDecoderFailed(bool feederRunning);

    // The feeding thread's calls.
    // With a device (`steering`), a seek moves its segment to the new place;
    // NoteDeviceSought once it is fed from there.
    FeederOrders TakeOrders(bool steering);
    void NoteDeviceSought(std::uint64_t target);
    // The device plays again: the clock follows it from where it stands.
    void NoteDevicePlays();
    // Hands the clock the device's reading; returns the position heard.
    std::uint64_t NoteDeviceReading(const std::optional<DevicePosition>& played);
    // The device is given the stream up to `end`.
    void NoteGiven(std::uint64_t end);
    // Where the stream ends, once the device was given everything up to there
    // and it plays on (not held, not sought); nullopt otherwise.
    std::optional<std::uint64_t> EndToDrain(std::uint64_t given);
    // A device takes over: from here until NoteDeviceTookOver or NoteNoDevice
    // a seek is carried to it, as to one that plays.
    DeviceStart PrepareDevice();
    void NoteDeviceTookOver(std::uint64_t from, std::uint64_t given);
    // No device: the real-time clock runs from the start if nothing ran yet.
    void NoteNoDevice();
    // The device is let go after its last reading: the real-time clock
    // carries on from the position reached, which is returned. One that
    // played out (`drained`) is kept, and nullopt returned, when a seek came
    // meanwhile: it is fed from the new place.
    std::optional<std::uint64_t> NoteDeviceLeft(const std::optional<DevicePosition>& played, bool drained);
    // The feeding thread ends; when it failed, the stream ends where it got to.
    void NoteFeederEnded(bool failed);

private:
    enum class State { Idle, Opening, DeviceClock, RealTimeClock };
    enum class Hold {
        None,
        Paused,
        // Held by a seek after the end: it stays stopped where it was sent,
        // as the vendor's library leaves it, until resumed.
        StoppedBySeek,
    };

    std::uint64_t EndLocked() const;
    // The one judge of whether the queue holds `offset`: a seek before what
    // it holds opens the source again, and a position where nothing is held
    // yet is stalled.
    enum class Place { Held, Ahead, Before };
    Place PlaceLocked(std::uint64_t offset) const;
    // The stream ends at `end` bytes, or before where it was ended already.
    void EndStreamLocked(std::uint64_t end);
    // Bytes played at `time`.
    std::uint64_t PositionLocked(std::uint64_t time);
    // Tells the clock, as of `time`, how far it may run: what the device
    // was given, or what was decoded, and never past the end.
    void LimitClockLocked(std::uint64_t time);
    // From `time` on the real-time clock stands in, from the position reached.
    void RunOnRealTimeLocked(std::uint64_t time);
    void ReadDeviceClockLocked(const std::optional<DevicePosition>& played);

    const StreamInfo info;
    const AudioOutput output;
    const MicrosecondClock now;
    const OwnedHandle feederWake;
    const OwnedHandle decoderWake;

    std::mutex mutex;  // guards everything below
    State state = State::Idle;
    Hold hold = Hold::None;
    bool onDevice = false;            // the feeding thread has a device that plays the stream
    bool takingOver = false;          // a device is being filled and started to play it
    std::uint64_t segmentBase = 0;    // stream offset where the current device began
    std::uint64_t segmentQueued = 0;  // bytes given to the current device
    PlaybackClock clock;              // in frames
    // From heldFrom up to decodedEnd the queue holds the stream, and past
    // decodedEnd it goes on holding it as decoding goes on (with a seek
    // waiting, once it is served): a seek into it plays at once.
    std::uint64_t decodedEnd = 0;
    std::uint64_t heldFrom = 0;
    std::optional<std::uint64_t> sourceEnd;  // where decoding ended or failed, or the stream was ended
    // No device plays the stream (there is nothing to decode it with, or no
    // feeding thread): the real-time clock stands in from the start.
    bool deviceless = false;
    // Nothing is decoded: the real-time clock runs on to the stated length.
    bool undecoded = false;
    std::optional<SeekRequest> decoderSeek;   // for the decoding thread
    std::optional<std::uint64_t> deviceSeek;  // for the feeding thread, to carry to the device
    bool deviceWanted = false;                // a stream that let its device go plays again
};
