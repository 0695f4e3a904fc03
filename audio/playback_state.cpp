#include "audio/playback_state.h"

#include <algorithm>
#include <utility>

PlaybackState::PlaybackState(const StreamInfo& stream, AudioOutput out, MicrosecondClock time)
    : info(stream), output(out), now(std::move(time)), feederWake(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      decoderWake(CreateEventW(nullptr, FALSE, FALSE, nullptr)), clock(info.format.sampleRate)
{
}

bool PlaybackState::CanRun() const
{
    return feederWake && decoderWake && info.format.IsValid();
}

void PlaybackState::RunWithoutThreads()
{
    std::lock_guard lock(mutex);
    sourceEnd = 0;
    deviceless = true;
}

void PlaybackState::Start()
{
    std::lock_guard lock(mutex);
    if (state != State::Idle) {
        return;
    }
    if (output == AudioOutput::Silent || deviceless) {
        RunOnRealTimeLocked(now());
        return;
    }
    state = State::Opening;
    SetEvent(feederWake.get());
}

std::uint64_t PlaybackState::PlayedBytes()
{
    std::lock_guard lock(mutex);
    return PositionLocked(now());
}

bool PlaybackState::Pause()
{
    std::lock_guard lock(mutex);
    const std::uint64_t time = now();
    if (state == State::Idle || hold != Hold::None || PositionLocked(time) >= EndLocked()) {
        return false;
    }
    hold = Hold::Paused;
    clock.Hold(time);
    SetEvent(feederWake.get());
    return true;
}

bool PlaybackState::Resume()
{
    std::lock_guard lock(mutex);
    if (hold == Hold::None) {
        return false;
    }
    hold = Hold::None;
    if (state == State::RealTimeClock) {
        RunOnRealTimeLocked(now());
    } else if (state == State::DeviceClock && onDevice) {
        // Resumed before the feeding thread stopped the device, the device
        // plays on and is not started again: the clock follows it from here.
        const std::uint64_t time = now();
        clock.FollowDevice(time);
        LimitClockLocked(time);
    }
    // On a device the clock follows it again once the feeding thread has
    // started it; without one that had let go, one is opened again.
    deviceWanted = state == State::RealTimeClock && output == AudioOutput::DefaultDevice && !deviceless;
    SetEvent(feederWake.get());
    return true;
}

void PlaybackState::Seek(std::uint64_t target, std::uint64_t sourceStart)
{
    std::lock_guard lock(mutex);
    if (!info.format.IsValid()) {
        return;
    }
    const std::uint32_t blockAlign = info.format.BlockAlign();
    target -= target % blockAlign;
    const std::uint64_t time = now();
    if (state != State::Idle && hold == Hold::None && PositionLocked(time) >= EndLocked()) {
        hold = Hold::StoppedBySeek;
        clock.Hold(time);
    }
    clock.SeekTo(target / blockAlign, time);
    if (!undecoded) {
        // Before what the queue holds (or after such a seek not yet served)
        // nothing is known to be there until the source is open again.
        const bool reopen = PlaceLocked(target) == Place::Before || (decoderSeek && decoderSeek->reopen);
        if (reopen) {
            decodedEnd = target;
            heldFrom = target;
        }
        decoderSeek = SeekRequest{.target = target, .sourceStart = sourceStart, .reopen = reopen};
        SetEvent(decoderWake.get());
    }
    if (state == State::Opening || takingOver || (state == State::DeviceClock && onDevice)) {
        deviceSeek = target;
    } else if (state == State::RealTimeClock && hold == Hold::None) {
        deviceWanted = output == AudioOutput::DefaultDevice && !deviceless;
    }
    LimitClockLocked(time);
    SetEvent(feederWake.get());
}

StreamActivity PlaybackState::Status()
{
    std::lock_guard lock(mutex);
    if (state == State::Idle || hold == Hold::StoppedBySeek) {
        return StreamActivity::Stopped;
    }
    if (hold == Hold::Paused) {
        return StreamActivity::Paused;
    }
    const std::uint64_t position = PositionLocked(now());
    if (position >= EndLocked()) {
        return StreamActivity::Stopped;
    }
    return undecoded || PlaceLocked(position) == Place::Held ? StreamActivity::Playing : StreamActivity::Stalled;
}

bool PlaybackState::Finished()
{
    std::lock_guard lock(mutex);
    return state != State::Idle && state != State::Opening && PositionLocked(now()) >= EndLocked();
}

PositionClock PlaybackState::ClockInUse()
{
    std::lock_guard lock(mutex);
    switch (state) {
    case State::DeviceClock:
        return PositionClock::Device;
    case State::RealTimeClock:
        return PositionClock::RealTime;
    default:
        return PositionClock::None;
    }
}

DecodeProgress PlaybackState::Decoded()
{
    std::lock_guard lock(mutex);
    // A source that ended before a seek back is decoded again up to there.
    return {.bytes = decodedEnd, .stopped = (sourceEnd && decodedEnd >= *sourceEnd) || undecoded};
}

void PlaybackState::NoteNoSource(bool noDecoder)
{
    std::lock_guard lock(mutex);
    if (noDecoder) {
        // Its header tells the music's length: the time runs through it
        // silently, so the picture still follows it. The feeding thread
        // lets go of any device.
        undecoded = true;
        deviceless = true;
    } else {
        sourceEnd = 0;
    }
    LimitClockLocked(now());
}

std::optional<SeekRequest> PlaybackState::TakeSeek()
{
    std::lock_guard lock(mutex);
    return std::exchange(decoderSeek, std::nullopt);
}

void PlaybackState::NoteSeekServed(std::uint64_t target, SeekServed how, std::uint64_t queueBegin,
                                   std::uint64_t queueEnd)
{
    std::lock_guard lock(mutex);
    if (decoderSeek) {
        return;
    }
    switch (how) {
    case SeekServed::FromQueue:
        // What was decoded while the seek waited counts now.
        decodedEnd = std::max(decodedEnd, queueEnd);
        break;
    case SeekServed::FromSourceAgain:
        // The queue starts again where the source does, and holds what is
        // decoded from there.
        sourceEnd.reset();
        heldFrom = queueBegin;
        decodedEnd = queueBegin;
        break;
    case SeekServed::Unreadable:
        // The stream ends where it was sent; nothing is held, so that a seek
        // anywhere tries the source again.
        sourceEnd = target;
        heldFrom = target;
        decodedEnd = target;
        break;
    }
    LimitClockLocked(now());
}

std::optional<std::uint64_t> PlaybackState::NoteKeptFrom(std::uint64_t keptBehind)
{
    std::lock_guard lock(mutex);
    if (decoderSeek) {
        return std::nullopt;
    }
    const std::uint64_t heard = PositionLocked(now());
    heldFrom = std::max(heldFrom, heard > keptBehind ? heard - keptBehind : 0);
    return heldFrom;
}

bool PlaybackState::NoteDecoded(std::uint64_t end)
{
    std::lock_guard lock(mutex);
    if (decoderSeek) {
        return false;
    }
    decodedEnd = end;
    LimitClockLocked(now());
    return true;
}

void PlaybackState::NoteSourceEnded(std::uint64_t end)
{
    std::lock_guard lock(mutex);
    decodedEnd = end - end % info.format.BlockAlign();
    EndStreamLocked(decodedEnd);
    LimitClockLocked(now());
}

void PlaybackState::NoteDecoderFailed(bool feederRunning)
{
    std::lock_guard lock(mutex);
    EndStreamLocked(decodedEnd - decodedEnd % info.format.BlockAlign());
    const std::uint64_t time = now();
    if (!feederRunning) {
        deviceless = true;
        if (state == State::Opening) {
            RunOnRealTimeLocked(time);
        }
    }
    LimitClockLocked(time);
}

FeederOrders PlaybackState::TakeOrders(bool steering)
{
    std::lock_guard lock(mutex);
    if (steering && deviceSeek) {
        segmentBase = *deviceSeek;
        segmentQueued = 0;
    }
    return {.started = state != State::Idle,
            .opening = state == State::Opening,
            .deviceless = deviceless,
            .deviceWanted = std::exchange(deviceWanted, false),
            .seekTo = deviceSeek,
            .held = hold != Hold::None};
}

void PlaybackState::NoteDeviceSought(std::uint64_t target)
{
    std::lock_guard lock(mutex);
    if (deviceSeek == target) {
        deviceSeek.reset();
    }
}

void PlaybackState::NoteDevicePlays()
{
    std::lock_guard lock(mutex);
    if (hold == Hold::None) {
        // From where the position stands, as with a device newly opened.
        const std::uint64_t time = now();
        clock.FollowDevice(time);
        LimitClockLocked(time);
    }
}

std::uint64_t PlaybackState::NoteDeviceReading(const std::optional<DevicePosition>& played)
{
    std::lock_guard lock(mutex);
    ReadDeviceClockLocked(played);
    return PositionLocked(now());
}

void PlaybackState::NoteGiven(std::uint64_t end)
{
    std::lock_guard lock(mutex);
    segmentQueued = end - segmentBase;
    LimitClockLocked(now());
}

std::optional<std::uint64_t> PlaybackState::EndToDrain(std::uint64_t given)
{
    std::lock_guard lock(mutex);
    if (!sourceEnd || given < *sourceEnd || hold != Hold::None || deviceSeek) {
        return std::nullopt;
    }
    return *sourceEnd;
}

DeviceStart PlaybackState::PrepareDevice()
{
    std::lock_guard lock(mutex);
    deviceSeek.reset();  // it starts from the place sought anyway
    takingOver = true;
    return {.from = PositionLocked(now()), .held = hold != Hold::None};
}

void PlaybackState::NoteDeviceTookOver(std::uint64_t from, std::uint64_t given)
{
    std::lock_guard lock(mutex);
    const std::uint64_t time = now();
    // A seek meanwhile stays for the device (its turn then drops what it
    // was given and feeds it from there).
    takingOver = false;
    onDevice = true;
    segmentBase = from;
    segmentQueued = given - from;
    state = State::DeviceClock;
    if (hold == Hold::None) {
        clock.FollowDevice(time);
    }
    LimitClockLocked(time);
}

void PlaybackState::NoteNoDevice()
{
    std::lock_guard lock(mutex);
    // The real-time clock runs from a place sought meanwhile already.
    takingOver = false;
    deviceSeek.reset();
    if (state == State::Opening) {
        RunOnRealTimeLocked(now());
    }
}

std::optional<std::uint64_t> PlaybackState::NoteDeviceLeft(const std::optional<DevicePosition>& played, bool drained)
{
    std::lock_guard lock(mutex);
    if (drained && deviceSeek) {
        return std::nullopt;
    }
    ReadDeviceClockLocked(played);
    const std::uint64_t time = now();
    const std::uint64_t reached = PositionLocked(time);
    onDevice = false;
    deviceSeek.reset();
    segmentBase = reached;
    segmentQueued = 0;
    RunOnRealTimeLocked(time);
    return reached;
}

void PlaybackState::NoteFeederEnded(bool failed)
{
    std::lock_guard lock(mutex);
    if (failed) {
        // Memory ran out on the way: the stream ends where it got to.
        const std::uint64_t time = now();
        EndStreamLocked(PositionLocked(time));
        RunOnRealTimeLocked(time);
        deviceless = true;
    }
    onDevice = false;
}

std::uint64_t PlaybackState::EndLocked() const
{
    return std::min(info.lengthBytes, sourceEnd.value_or(info.lengthBytes));
}

PlaybackState::Place PlaybackState::PlaceLocked(std::uint64_t offset) const
{
    if (offset < heldFrom) {
        return Place::Before;
    }
    return offset + info.format.BlockAlign() < decodedEnd ? Place::Held : Place::Ahead;
}

void PlaybackState::EndStreamLocked(std::uint64_t end)
{
    sourceEnd = std::min(sourceEnd.value_or(end), end);
}

std::uint64_t PlaybackState::PositionLocked(std::uint64_t time)
{
    if (!info.format.IsValid()) {
        return 0;
    }
    LimitClockLocked(time);
    return clock.Position(time) * info.format.BlockAlign();
}

void PlaybackState::LimitClockLocked(std::uint64_t time)
{
    if (!info.format.IsValid()) {
        return;
    }
    // On the stand-in clock, what has been decoded (all of it when nothing can be).
    std::uint64_t limit = undecoded ? info.lengthBytes : decodedEnd;
    if (state == State::DeviceClock && onDevice && !deviceSeek) {
        limit = segmentBase + segmentQueued;
    }
    clock.Limit(std::min(limit, EndLocked()) / info.format.BlockAlign(), time);
}

void PlaybackState::RunOnRealTimeLocked(std::uint64_t time)
{
    state = State::RealTimeClock;
    if (hold == Hold::None) {
        clock.RunFreely(time);
    }
    LimitClockLocked(time);
}

void PlaybackState::ReadDeviceClockLocked(const std::optional<DevicePosition>& played)
{
    const std::uint64_t time = now();
    // Until the device is fed from a new place, what it reads is of the old one.
    if (!played || deviceSeek) {
        return;
    }
    // A time the device does not give, or one that cannot be right, is taken as now.
    const bool timed = played->time != 0 && played->time <= time && time - played->time < kMicrosecondsPerSecond;
    const std::uint32_t blockAlign = info.format.BlockAlign();
    clock.AddReading((segmentBase + std::min(played->frames * blockAlign, segmentQueued)) / blockAlign,
                     timed ? played->time : time);
}
