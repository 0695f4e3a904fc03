#include "audio/playback.h"

#include "audio/exception_barrier.h"
#include "audio/scale_down.h"

#include <objbase.h>
#include <avrt.h>

#include <algorithm>
#include <utility>

namespace {

// Wake-up even without the device's event, in case it never comes.
constexpr DWORD kFeedIntervalMs = 20;
// Time allowed past the expected end for the device to drain its queue.
constexpr std::uint64_t kDrainGraceMs = 2000;
// How far decoding runs ahead of what is heard: the memory held, and the
// slack against a decoder held up by a busy machine. It resumes when less
// than the low mark is left, in bursts, which costs the decoder less than a
// sample now and then.
constexpr std::uint64_t kDecodeAheadMs = 4000;
constexpr std::uint64_t kDecodeLowMarkMs = 3000;
// How often the decoding thread looks at how far ahead it is.
constexpr DWORD kDecodeIntervalMs = 50;
// How often a default device is looked for again while there is none.
constexpr std::uint64_t kDeviceRetryUs = 1'000'000;

// Waits for one of `handles` or the timeout. A wait that fails (a handle
// gone bad) sleeps out the timeout instead, so the loop around it is paced
// all the same rather than spinning a core.
DWORD PacedWait(DWORD count, const HANDLE* handles, DWORD timeoutMs)
{
    const DWORD result = WaitForMultipleObjects(count, handles, FALSE, timeoutMs);
    if (result == WAIT_FAILED) {
        Sleep(timeoutMs);
    }
    return result;
}

}  // namespace

std::uint64_t SystemMicroseconds()
{
    LARGE_INTEGER frequency{};
    LARGE_INTEGER counter{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return ScaleDown(static_cast<std::uint64_t>(counter.QuadPart), kMicrosecondsPerSecond,
                     static_cast<std::uint64_t>(frequency.QuadPart));
}

Playback::Playback(SourceOpener sourceOpener, const StreamInfo& stream, AudioOutput out, DeviceOpener deviceOpener,
                   MicrosecondClock time)
    : openSource(std::move(sourceOpener)), openDevice(std::move(deviceOpener)), now(std::move(time)), output(out),
      info(stream), clock(info.format.sampleRate), stopEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      wakeEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr)), seekEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      endedEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
    if (!stopEvent || !wakeEvent || !seekEvent || !endedEvent || !info.format.IsValid()) {
        sourceEnd = 0;
        return;
    }
    // One thread now, which starts the other: the caller waits for one
    // thread's creation only. When it cannot be made, the caller's call fails.
    running = true;
    decoder = std::thread(&Playback::Decode, this);
}

Playback::~Playback()
{
    Stop();
}

void Playback::Stop()
{
    RequestStop();
    // The feeding thread has been joined by the decoding thread, which started it.
    if (decoder.joinable()) {
        decoder.join();
    }
}

void Playback::RequestStop()
{
    stopRequested = true;
    if (stopEvent) {
        SetEvent(stopEvent.get());
    }
}

bool Playback::WaitStopped(DWORD timeoutMs)
{
    return !running || WaitForSingleObject(endedEvent.get(), timeoutMs) == WAIT_OBJECT_0;
}

void Playback::Start()
{
    std::lock_guard lock(mutex);
    if (state != State::Idle) {
        return;
    }
    if (output == AudioOutput::Silent || !running || deviceless) {
        RunOnRealTimeLocked(now());
        return;
    }
    state = State::Opening;
    SetEvent(wakeEvent.get());
}

std::uint64_t Playback::PlayedBytes()
{
    std::lock_guard lock(mutex);
    return PositionLocked(now());
}

bool Playback::Pause()
{
    std::lock_guard lock(mutex);
    const std::uint64_t time = now();
    if (state == State::Idle || paused || PositionLocked(time) >= EndLocked()) {
        return false;
    }
    paused = true;
    clock.Hold(time);
    SetEvent(wakeEvent.get());
    return true;
}

bool Playback::Resume()
{
    std::lock_guard lock(mutex);
    if (!paused) {
        return false;
    }
    paused = false;
    stoppedBySeek = false;
    if (state == State::RealTimeClock) {
        RunOnRealTimeLocked(now());
    }
    // On a device the clock follows it again once the feeding thread has
    // started it; without one that had let go, one is opened again.
    deviceWanted = state == State::RealTimeClock && output == AudioOutput::DefaultDevice && !deviceless;
    SetEvent(wakeEvent.get());
    return true;
}

void Playback::Seek(std::uint64_t target, std::uint64_t sourceStart)
{
    std::lock_guard lock(mutex);
    if (!info.format.IsValid()) {
        return;
    }
    const std::uint32_t blockAlign = info.format.BlockAlign();
    target -= target % blockAlign;
    const std::uint64_t time = now();
    if (state != State::Idle && !paused && PositionLocked(time) >= EndLocked()) {
        paused = true;
        stoppedBySeek = true;
        clock.Hold(time);
    }
    clock.SeekTo(target / blockAlign, time);
    if (!undecoded) {
        // Until the decoding thread has found it, nothing at the new place is
        // known to be there.
        decodedEnd = target;
        decoderSeek = SeekRequest{.target = target, .sourceStart = sourceStart};
        SetEvent(seekEvent.get());
    }
    if (state == State::Opening || (state == State::DeviceClock && device)) {
        deviceSeek = target;
    } else if (state == State::RealTimeClock && !paused) {
        deviceWanted = output == AudioOutput::DefaultDevice && !deviceless;
    }
    LimitClockLocked(time);
    SetEvent(wakeEvent.get());
}

Playback::Activity Playback::Status()
{
    std::lock_guard lock(mutex);
    if (state == State::Idle) {
        return Activity::Stopped;
    }
    if (paused) {
        return stoppedBySeek ? Activity::Stopped : Activity::Paused;
    }
    const std::uint64_t position = PositionLocked(now());
    if (position >= EndLocked()) {
        return Activity::Stopped;
    }
    const std::uint64_t decoded = undecoded ? info.lengthBytes : decodedEnd;
    return decoded <= position + info.format.BlockAlign() ? Activity::Stalled : Activity::Playing;
}

bool Playback::Finished()
{
    std::lock_guard lock(mutex);
    return state != State::Idle && state != State::Opening && PositionLocked(now()) >= EndLocked();
}

PositionClock Playback::ClockInUse()
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

std::size_t Playback::HeldBytes()
{
    std::lock_guard lock(queueMutex);
    return queue.HeldBytes();
}

Playback::DecodeProgress Playback::Decoded()
{
    std::lock_guard lock(mutex);
    return {.bytes = decodedEnd, .stopped = sourceEnd.has_value() || undecoded};
}

std::uint64_t Playback::EndLocked() const
{
    return std::min(info.lengthBytes, sourceEnd.value_or(info.lengthBytes));
}

std::uint64_t Playback::PositionLocked(std::uint64_t time)
{
    if (!info.format.IsValid()) {
        return 0;
    }
    LimitClockLocked(time);
    return clock.Position(time) * info.format.BlockAlign();
}

void Playback::RunOnRealTimeLocked(std::uint64_t time)
{
    state = State::RealTimeClock;
    if (!paused) {
        clock.RunFreely(time);
    }
    LimitClockLocked(time);
}

void Playback::LimitClockLocked(std::uint64_t time)
{
    if (!info.format.IsValid()) {
        return;
    }
    // On the stand-in clock, what has been decoded (all of it when nothing can be).
    std::uint64_t limit = undecoded ? info.lengthBytes : decodedEnd;
    if (state == State::DeviceClock && device && !deviceSeek) {
        limit = segmentBase + segmentQueued;
    }
    clock.Limit(std::min(limit, EndLocked()) / info.format.BlockAlign(), time);
}

void Playback::ReadDeviceClockLocked(const std::optional<DevicePosition>& played)
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

void Playback::Feed()
{
    // The scheduler's audio class keeps the device fed on a busy machine;
    // Windows without it, or with avrt.dll missing, gets the highest normal priority.
    DWORD taskIndex = 0;
    const HANDLE task = AvSetMmThreadCharacteristicsW(L"Audio", &taskIndex);
    if (task == nullptr) {
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
    }
    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    const bool fed = FailOnException(false, [this] {
        FeedUntilStopped();
        return true;
    });
    // Every COM object goes before the apartment does.
    std::unique_ptr<OutputDevice> last;
    {
        std::lock_guard lock(mutex);
        if (!fed) {
            // Memory ran out on the way: the stream ends where it got to.
            const std::uint64_t time = now();
            EndStreamLocked(PositionLocked(time));
            RunOnRealTimeLocked(time);
            deviceless = true;
        }
        last = std::move(device);
    }
    last.reset();
    if (com) {
        CoUninitialize();
    }
    if (task != nullptr) {
        AvRevertMmThreadCharacteristics(task);
    }
}

void Playback::FeedUntilStopped()
{
    for (;;) {
        ServeOutput();
        const HANDLE wakers[] = {stopEvent.get(), wakeEvent.get(), device ? device->ReadyEvent() : nullptr};
        const DWORD count = wakers[2] != nullptr ? 3 : 2;
        if (stopRequested || PacedWait(count, wakers, kFeedIntervalMs) == WAIT_OBJECT_0) {
            return;
        }
    }
}

void Playback::Decode()
{
    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    const bool decoded = FailOnException(false, [this, com] {
        DecodeUntilStopped(com);
        return true;
    });
    if (!decoded) {
        // Memory or the feeding thread could not be had: the stream ends
        // after what was decoded, as after a decoding error.
        std::lock_guard lock(mutex);
        EndStreamLocked(decodedEnd - decodedEnd % info.format.BlockAlign());
        const std::uint64_t time = now();
        if (!feeder.joinable()) {
            deviceless = true;
            if (state == State::Opening) {
                RunOnRealTimeLocked(time);
            }
        }
        LimitClockLocked(time);
    }
    source.reset();
    if (com) {
        CoUninitialize();
    }
    // Only a stop ends the feeding thread; the event tells a bounded wait
    // that neither thread runs any more.
    if (feeder.joinable()) {
        feeder.join();
    }
    SetEvent(endedEvent.get());
}

void Playback::DecodeUntilStopped(bool com)
{
    feeder = std::thread(&Playback::Feed, this);
    OpenedSource opened;
    if (com && openSource) {
        opened = openSource();
    }
    source = std::move(opened.source);
    if (source && source->Format() != info.format) {
        source.reset();  // the file is not what its header said
    }
    if (!source) {
        std::lock_guard lock(mutex);
        if (opened.noDecoder) {
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
    const HANDLE wakers[] = {stopEvent.get(), seekEvent.get()};
    do {
        DecodeAhead();
    } while (!stopRequested && PacedWait(2, wakers, kDecodeIntervalMs) != WAIT_OBJECT_0);
}

// Lets go of what has been heard and, once less than the low mark is left,
// decodes up to the full stretch ahead.
void Playback::DecodeAhead()
{
    ApplySeek();
    const std::uint64_t heard = PlayedBytes();
    std::uint64_t end = 0;
    {
        std::lock_guard lock(queueMutex);
        // A device that takes over later starts from the position heard, never before it.
        queue.DropBefore(heard);
        end = queue.End();
    }
    if (!source || end >= heard + ScaleDown(info.format.BytesPerSecond(), kDecodeLowMarkMs, 1000)) {
        return;
    }
    const std::uint64_t ahead = ScaleDown(info.format.BytesPerSecond(), kDecodeAheadMs, 1000);
    while (end < heard + ahead && !stopRequested) {
        if (source->Read(chunk) != ReadResult::Data) {
            FinishSource(end);
            return;
        }
        const bool last = end + chunk.size() >= info.lengthBytes;
        if (last) {
            chunk.resize(static_cast<std::size_t>(info.lengthBytes - end));
        }
        {
            std::lock_guard lock(queueMutex);
            queue.Append(std::move(chunk));
            // Decoding up to a place sought far ahead holds no more than from there on.
            queue.DropBefore(heard);
            end = queue.End();
        }
        {
            std::lock_guard lock(mutex);
            if (decoderSeek) {
                return;  // what comes next is decoded from the new place
            }
            decodedEnd = end;
            LimitClockLocked(now());
        }
        if (last) {
            FinishSource(end);
            return;
        }
    }
}

// Held already (at or after the first byte held), the new place is played
// from the queue, and decoding goes on from its end as before. Before it, the
// source is opened again and decoded from its start to there.
void Playback::ApplySeek()
{
    std::optional<SeekRequest> seek;
    {
        std::lock_guard lock(mutex);
        seek = std::exchange(decoderSeek, std::nullopt);
    }
    if (!seek) {
        return;
    }
    bool held = false;
    std::uint64_t end = 0;
    {
        std::lock_guard lock(queueMutex);
        held = seek->target >= queue.Begin();
        if (held) {
            queue.DropBefore(seek->target);
        } else {
            queue.Reset(seek->sourceStart);
        }
        end = queue.End();
    }
    bool reopened = false;
    if (!held) {
        source = openSource ? std::move(openSource().source) : nullptr;
        if (source && source->Format() != info.format) {
            source.reset();
        }
        reopened = source != nullptr;
    }
    std::lock_guard lock(mutex);
    if (decoderSeek) {
        return;  // sought again meanwhile: the next call serves that
    }
    if (held) {
        decodedEnd = std::max(seek->target, end);
    } else if (reopened) {
        sourceEnd.reset();
    } else {
        // The file cannot be read again: the stream ends where it was sent.
        sourceEnd = seek->target;
    }
    LimitClockLocked(now());
}

void Playback::FinishSource(std::uint64_t end)
{
    source.reset();
    std::lock_guard lock(mutex);
    decodedEnd = end - end % info.format.BlockAlign();
    EndStreamLocked(decodedEnd);
    LimitClockLocked(now());
}

void Playback::EndStreamLocked(std::uint64_t end)
{
    sourceEnd = std::min(sourceEnd.value_or(end), end);
}

void Playback::ServeOutput()
{
    State current = State::Idle;
    bool withoutDevice = false;
    bool wanted = false;
    {
        std::lock_guard lock(mutex);
        current = state;
        withoutDevice = deviceless;
        wanted = std::exchange(deviceWanted, false);
    }
    if (current == State::Idle) {
        return;
    }
    if (wanted && !device) {
        // A stream that ended plays again from where it was sent back to.
        deviceDone = false;
        nextDeviceAttempt = 0;
    }
    if (withoutDevice && !deviceDone) {
        // Found out after the start: the real-time clock takes over from
        // the position reached, which with nothing decoded is still 0.
        deviceDone = true;
        if (device) {
            LeaveDevice(false);
        } else {
            std::lock_guard lock(mutex);
            if (state == State::Opening) {
                RunOnRealTimeLocked(now());
            }
        }
        return;
    }
    if (device) {
        if (!SteerDevice() || !FeedDevice()) {
            LeaveDevice(true);
        } else {
            return;
        }
    }
    if (output == AudioOutput::DefaultDevice && !deviceDone &&
        (current == State::Opening || now() >= nextDeviceAttempt)) {
        if (Finished()) {
            deviceDone = true;
            return;
        }
        TryDevice();
    }
}

// Opens the default device and lets it carry on from the position reached;
// without one, the real-time clock goes on from there.
void Playback::TryDevice()
{
    nextDeviceAttempt = now() + kDeviceRetryUs;
    std::unique_ptr<OutputDevice> fresh = openDevice ? openDevice(info.format) : nullptr;
    if (fresh) {
        std::uint64_t from = 0;
        bool hold = false;
        {
            std::lock_guard lock(mutex);
            from = PositionLocked(now());
            deviceSeek.reset();  // it starts from the place sought anyway
            hold = paused;
        }
        writeCursor = from;
        // Paused, it is fed but not started; the clock stays held.
        if (Fill(*fresh, from) && (hold || fresh->Start())) {
            std::lock_guard lock(mutex);
            const std::uint64_t time = now();
            device = std::move(fresh);
            segmentBase = from;
            segmentQueued = writeCursor - from;
            state = State::DeviceClock;
            deviceStarted = !hold;
            if (!paused) {
                clock.FollowDevice(time);
            }
            LimitClockLocked(time);
            drainDeadline = 0;
            return;
        }
    }
    std::lock_guard lock(mutex);
    if (state == State::Opening) {
        RunOnRealTimeLocked(now());
    }
}

// Queues what the device has room for, at most one buffer ahead of what has
// been heard, so that a device without a clock of its own is held to real
// time as well.
bool Playback::Fill(OutputDevice& target, std::uint64_t heard)
{
    const std::optional<std::uint32_t> room = target.FreeFrames();
    if (!room) {
        return false;
    }
    const std::uint32_t blockAlign = info.format.BlockAlign();
    const std::uint64_t bufferBytes = std::uint64_t{target.BufferFrames()} * blockAlign;
    const std::uint64_t allowed = heard + bufferBytes > writeCursor ? heard + bufferBytes - writeCursor : 0;
    std::size_t bytes = 0;
    {
        std::lock_guard lock(queueMutex);
        const std::uint64_t decoded = std::min(queue.End(), info.lengthBytes);
        // Nothing while the queue is started again from a place sought after this one.
        const std::uint64_t available =
            decoded > writeCursor && writeCursor >= queue.Begin() ? decoded - writeCursor : 0;
        const std::uint64_t frames = std::min<std::uint64_t>({*room, available / blockAlign, allowed / blockAlign});
        bytes = static_cast<std::size_t>(frames * blockAlign);
        scratch.resize(bytes);
        if (queue.CopyOut(writeCursor, scratch.data(), bytes) != bytes) {
            return false;
        }
    }
    if (bytes == 0) {
        return true;
    }
    if (&target == device.get()) {
        // Counted before the device has it: a reading taken meanwhile may
        // include it, and must not be cut back to what was queued before,
        // which would leave the position behind the device's clock.
        std::lock_guard lock(mutex);
        segmentQueued = writeCursor + bytes - segmentBase;
        LimitClockLocked(now());
    }
    if (!target.Queue(scratch.data(), static_cast<std::uint32_t>(bytes / blockAlign))) {
        return false;
    }
    writeCursor += bytes;
    return true;
}

// False when the device failed or stopped being the default one.
bool Playback::FeedDevice()
{
    const std::optional<DevicePosition> played = device->PlayedFrames();
    std::uint64_t heard = 0;
    {
        std::lock_guard lock(mutex);
        ReadDeviceClockLocked(played);
        heard = PositionLocked(now());
    }
    const std::uint64_t before = writeCursor;
    if (!Fill(*device, heard)) {
        return false;
    }
    std::uint64_t end = 0;
    {
        std::lock_guard lock(mutex);
        segmentQueued = writeCursor - segmentBase;
        if (!sourceEnd || writeCursor < *sourceEnd || paused) {
            drainDeadline = paused ? 0 : drainDeadline;  // paused, it does not drain
            return true;
        }
        end = *sourceEnd;
    }
    // Everything is queued: the device plays it out, or gives up on it.
    const std::uint64_t time = now();
    if (drainDeadline == 0) {
        drainDeadline = time + ScaleDown(device->BufferFrames(), kMicrosecondsPerSecond, info.format.sampleRate) +
                        kDrainGraceMs * 1000;
    }
    const std::optional<std::uint32_t> room = device->FreeFrames();
    if (!room) {
        return false;
    }
    if ((writeCursor == before && *room == device->BufferFrames()) || time > drainDeadline || end == 0) {
        LeaveDevice(false);
    }
    return true;
}

// Lets the real-time clock carry on from the position reached; after a
// failure the next device picks up from there.
void Playback::LeaveDevice(bool failed)
{
    // Only this thread uses the device, so it reads its clock without the lock.
    const std::optional<DevicePosition> played = device->PlayedFrames();
    std::unique_ptr<OutputDevice> old;
    {
        std::lock_guard lock(mutex);
        ReadDeviceClockLocked(played);
        const std::uint64_t time = now();
        const std::uint64_t reached = PositionLocked(time);
        old = std::move(device);
        deviceSeek.reset();
        segmentBase = reached;
        segmentQueued = 0;
        writeCursor = reached;
        RunOnRealTimeLocked(time);
    }
    old.reset();
    deviceStarted = false;
    deviceDone = !failed;
    nextDeviceAttempt = 0;
}

// Seeks first: a device told to stop and then sent elsewhere is fed from the
// new place and stays stopped.
bool Playback::SteerDevice()
{
    std::optional<std::uint64_t> target;
    bool hold = false;
    {
        std::lock_guard lock(mutex);
        target = deviceSeek;
        hold = paused;
        if (target) {
            segmentBase = *target;
            segmentQueued = 0;
        }
    }
    if (target) {
        // What the device holds is of the place before: dropped, and the
        // device fed again from the new place.
        if (!device->Discard()) {
            return false;
        }
        deviceStarted = false;
        drainDeadline = 0;
        writeCursor = *target;
        if (!Fill(*device, *target)) {
            return false;
        }
        std::lock_guard lock(mutex);
        if (deviceSeek == target) {
            deviceSeek.reset();
        }
    }
    if (hold && deviceStarted) {
        if (!device->Stop()) {
            return false;
        }
        deviceStarted = false;
    } else if (!hold && !deviceStarted) {
        if (!device->Start()) {
            return false;
        }
        deviceStarted = true;
        std::lock_guard lock(mutex);
        if (!paused) {
            // From where the position stands, as with a device newly opened.
            clock.FollowDevice(now());
            LimitClockLocked(now());
        }
    }
    return true;
}
