// The state behind the exported calls: whether output was started, on which
// kind of output, and the streams by handle.
#pragma once

#include "audio/playback.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class AudioLibrary {
public:
    using DeviceProbe = bool (*)();

    // A stream's threads end within a few milliseconds (24 ms seen under load).
    static constexpr DWORD kExitWaitMs = 2000;

    // `keptBehind`: what each stream keeps of the music heard (Playback).
    explicit AudioLibrary(DeviceProbe probe = DefaultOutputDeviceExists, DeviceOpener opener = OpenDefaultOutputDevice,
                          MicrosecondClock time = SystemMicroseconds, std::uint64_t keptBehind = kKeptBehindBytes);

    // device: -1 the default device (silent clock while there is none),
    // 0 no sound, 1 the default device only if there is one now. False when
    // started before or the device is unknown.
    bool Init(int device);
    // Stops every stream, ends its threads (each lets go of its device before
    // this returns) and forgets every handle; later calls fail as before Init,
    // until Init again. False when not started.
    bool Free();
    // The program is on its way out (its C runtime's exit, which holds its
    // exit lock meanwhile): as Free, once, and the streams a Free on another
    // thread is ending too; nothing after Abandon, and no Init after either,
    // so that no stream outlives it. It waits at most `waitMs` for their
    // threads to be gone: one inside a DLL's start-up may wait for that very
    // lock, and is left to the process's end.
    void EndAtExit(DWORD waitMs = kExitWaitMs);
    // The process's other threads are gone (the loader's last notice): from
    // here on nothing is torn down, since a device call could wait forever
    // for a thread that no longer exists.
    void Abandon();
    // A new stream's handle (never 0), or 0 before Init or when the file does
    // not decode. Throws when memory cannot be had; a stream whose thread
    // cannot be made ends at once. A looping stream plays again from its
    // start at its end, its position starting again at 0.
    std::uint32_t CreateStream(const std::wstring& path, bool loop = false);
    // As Play without `restart`: starts, or resumes a paused stream.
    bool Start(std::uint32_t handle);
    std::optional<std::uint64_t> PlayedBytes(std::uint32_t handle);
    std::optional<std::uint64_t> LengthBytes(std::uint32_t handle);
    std::optional<double> BytesToSeconds(std::uint32_t handle, std::uint64_t bytes);
    // Whole frames in `seconds` of the stream, in bytes, rounded down; none
    // for an unknown handle or a time that is negative or not a number. The
    // bytes of any frame, converted by BytesToSeconds and back, are those bytes.
    std::optional<std::uint64_t> SecondsToBytes(std::uint32_t handle, double seconds);
    // False for an unknown handle, one that does not play, or one paused already.
    bool Pause(std::uint32_t handle);
    // Starts, resumes or (restart) plays from the start; false for an unknown handle.
    bool Play(std::uint32_t handle, bool restart);
    // Moves to `bytes`, rounded down to a frame; false for an unknown handle
    // or a place at or past the end (of a looping stream, of its pass: it
    // moves within the pass it plays).
    bool SetPosition(std::uint32_t handle, std::uint64_t bytes);
    // Stopped for an unknown handle.
    Playback::Activity Activity(std::uint32_t handle);

private:
    struct Stream {
        // Shared with a call in progress on another thread, so that Free
        // never destroys a stream under it.
        std::shared_ptr<Playback> playback;
        // Of a looping stream: one pass, which its position counts within.
        std::uint64_t loopBytes = 0;
    };

    std::optional<Stream> Find(std::uint32_t handle);

    // Stops the library and moves every stream from the table to `ending`,
    // where it stays until its threads have ended; returns the streams moved.
    std::vector<std::shared_ptr<Playback>> TakeStreamsLocked();

    const DeviceProbe hasDefaultDevice;
    const DeviceOpener openDevice;
    const MicrosecondClock clock;
    const std::uint64_t keptBehindBytes;
    std::atomic<bool> ended{false};  // by EndAtExit or Abandon
    std::mutex mutex;                // guards everything below
    bool initialised = false;
    AudioOutput output = AudioOutput::Silent;
    std::uint32_t lastHandle = 0;
    std::map<std::uint32_t, Stream> streams;
    // Taken from `streams` by Free or EndAtExit and not yet ended. A stream
    // whose threads outlast the wait at exit stays here for good.
    std::vector<std::shared_ptr<Playback>> ending;
};
