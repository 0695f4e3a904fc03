#include "audio/playback.h"

#include "audio/scale_down.h"

#include <objbase.h>

#include <algorithm>
#include <utility>

namespace {

// Wake-up even without the device's event, in case it never comes.
constexpr DWORD kFeedIntervalMs = 20;
// How far a device's clock may run ahead of real time and still be believed:
// more than the jitter of a real device's clock, less than one buffer.
constexpr std::uint64_t kDeviceLeadMs = 20;
// Time allowed past the expected end for the device to drain its queue.
constexpr ULONGLONG kDrainGraceMs = 2000;
// How far decoding runs ahead of what is heard: the memory held, and the
// slack against a decoder held up by a busy machine. It resumes when less
// than the low mark is left, in bursts, which costs the decoder less than a
// sample now and then.
constexpr std::uint64_t kDecodeAheadMs = 4000;
constexpr std::uint64_t kDecodeLowMarkMs = 3000;
// How often the decoding thread looks at how far ahead it is.
constexpr DWORD kDecodeIntervalMs = 50;
// How often a default device is looked for again while there is none.
constexpr ULONGLONG kDeviceRetryMs = 1000;

LARGE_INTEGER Now()
{
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return now;
}

std::uint64_t TicksPerSecond()
{
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    return static_cast<std::uint64_t>(frequency.QuadPart);
}

}  // namespace

Playback::Playback(SourceOpener sourceOpener, const StreamInfo& stream, AudioOutput out, DeviceOpener deviceOpener)
    : openSource(std::move(sourceOpener)), openDevice(std::move(deviceOpener)), output(out), info(stream)
{
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    wakeEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (stopEvent == nullptr || wakeEvent == nullptr || !info.format.IsValid()) {
        sourceEnd = 0;
        return;
    }
    running = true;
    // One thread now, which starts the other: the caller waits for one thread's creation only.
    decoder = std::thread(&Playback::Decode, this);
}

Playback::~Playback()
{
    stopRequested = true;
    if (stopEvent != nullptr) {
        SetEvent(stopEvent);
    }
    // The decoding thread first: it is the one that starts the feeding thread.
    for (std::thread* thread : {&decoder, &feeder}) {
        if (thread->joinable()) {
            thread->join();
        }
    }
    for (const HANDLE event : {stopEvent, wakeEvent}) {
        if (event != nullptr) {
            CloseHandle(event);
        }
    }
}

void Playback::Start()
{
    std::lock_guard lock(mutex);
    if (state != State::Idle) {
        return;
    }
    if (output == AudioOutput::Silent || !running) {
        state = State::RealTimeClock;
        AnchorLocked(0);
        return;
    }
    state = State::Opening;
    SetEvent(wakeEvent);
}

std::uint64_t Playback::PlayedBytes()
{
    std::unique_lock lock(mutex);
    const DeviceClockReading reading = ReadDeviceClock(lock);
    return ReanchorClockLocked(reading);
}

bool Playback::Finished()
{
    std::unique_lock lock(mutex);
    const DeviceClockReading reading = ReadDeviceClock(lock);
    return state != State::Idle && state != State::Opening && ReanchorClockLocked(reading) >= EndLocked();
}

bool Playback::OnDeviceClock()
{
    std::lock_guard lock(mutex);
    return state == State::DeviceClock;
}

std::size_t Playback::HeldBytes()
{
    std::lock_guard lock(queueMutex);
    return queue.HeldBytes();
}

std::uint64_t Playback::EndLocked() const
{
    return std::min(info.lengthBytes, sourceEnd.value_or(info.lengthBytes));
}

// The device's clock is read with the lock let go: a device call may take its
// time, and the other threads would wait for it. The device is not destroyed
// meanwhile: the feeding thread waits for the readers (TakeDeviceLocked).
Playback::DeviceClockReading Playback::ReadDeviceClock(std::unique_lock<std::mutex>& lock)
{
    if (state != State::DeviceClock || !device) {
        return {};
    }
    OutputDevice* const read = device.get();
    ++deviceClockReaders;
    lock.unlock();
    const std::optional<std::uint64_t> frames = read->PlayedFrames();
    lock.lock();
    if (--deviceClockReaders == 0) {
        noDeviceClockReaders.notify_all();
    }
    return {.device = read, .frames = frames};
}

std::unique_ptr<OutputDevice> Playback::TakeDeviceLocked(std::unique_lock<std::mutex>& lock)
{
    std::unique_ptr<OutputDevice> taken = std::move(device);
    noDeviceClockReaders.wait(lock, [this] { return deviceClockReaders == 0; });
    return taken;
}

std::uint64_t Playback::ReanchorClockLocked(const DeviceClockReading& reading)
{
    if (!info.format.IsValid()) {
        return 0;
    }
    std::uint64_t bytes = 0;
    if (state == State::DeviceClock || state == State::RealTimeClock) {
        const LARGE_INTEGER now = Now();
        const auto ticks = static_cast<std::uint64_t>(std::max<LONGLONG>(0, now.QuadPart - anchorTime.QuadPart));
        bytes = anchorBytes + ScaleDown(ticks, info.format.BytesPerSecond(), TicksPerSecond());
        // The clock cannot pass what it was given: what was queued on the
        // device, or on the stand-in clock what has been decoded.
        std::uint64_t limit = decodedEnd;
        if (state == State::DeviceClock && device) {
            limit = segmentBase + segmentQueued;
            // The device's clock rules unless it runs far ahead of real time,
            // as a device that swallows data without playing it does. Behind
            // real time it rules too: it stalled or has not started yet. A
            // reading of a device that has been replaced meanwhile is no use.
            if (reading.frames && reading.device == device.get()) {
                const std::uint64_t played =
                    segmentBase + std::min(*reading.frames * info.format.BlockAlign(), segmentQueued);
                if (played <= bytes + ScaleDown(info.format.BytesPerSecond(), kDeviceLeadMs, 1000)) {
                    bytes = played;
                    anchorBytes = played;
                    anchorTime = now;
                }
            }
        }
        if (bytes > limit) {
            // Starved: the clock waits for data as a device would, rather than leaping ahead later.
            bytes = limit;
            anchorBytes = limit;
            anchorTime = now;
        }
    }
    bytes = std::min(bytes, EndLocked());
    bytes -= bytes % info.format.BlockAlign();
    lastReported = std::max(lastReported, bytes);
    return lastReported;
}

void Playback::AnchorLocked(std::uint64_t bytes)
{
    anchorBytes = bytes;
    anchorTime = Now();
}

void Playback::Feed()
{
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    for (;;) {
        ServeOutput();
        const HANDLE wakers[] = {stopEvent, wakeEvent, device ? device->ReadyEvent() : nullptr};
        const DWORD count = wakers[2] != nullptr ? 3 : 2;
        if (stopRequested || WaitForMultipleObjects(count, wakers, FALSE, kFeedIntervalMs) == WAIT_OBJECT_0) {
            break;
        }
    }
    // Every COM object goes before the apartment does.
    std::unique_ptr<OutputDevice> last;
    {
        std::unique_lock lock(mutex);
        last = TakeDeviceLocked(lock);
    }
    last.reset();
    if (com) {
        CoUninitialize();
    }
}

void Playback::Decode()
{
    feeder = std::thread(&Playback::Feed, this);
    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    if (com) {
        source = openSource ? openSource() : nullptr;
    }
    if (source && source->Format() != info.format) {
        source.reset();  // the file is not what its header said
    }
    if (!source) {
        std::lock_guard lock(mutex);
        sourceEnd = 0;
    }
    do {
        DecodeAhead();
    } while (!stopRequested && WaitForSingleObject(stopEvent, kDecodeIntervalMs) == WAIT_TIMEOUT);
    source.reset();
    if (com) {
        CoUninitialize();
    }
}

// Lets go of what has been heard and, once less than the low mark is left,
// decodes up to the full stretch ahead.
void Playback::DecodeAhead()
{
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
            end = queue.End();
        }
        {
            std::lock_guard lock(mutex);
            decodedEnd = end;
        }
        if (last) {
            FinishSource(end);
            return;
        }
    }
}

void Playback::FinishSource(std::uint64_t end)
{
    source.reset();
    std::lock_guard lock(mutex);
    decodedEnd = end - end % info.format.BlockAlign();
    sourceEnd = decodedEnd;
}

void Playback::ServeOutput()
{
    State now = State::Idle;
    {
        std::lock_guard lock(mutex);
        now = state;
    }
    if (now == State::Idle) {
        return;
    }
    if (device) {
        if (!FeedDevice()) {
            LeaveDevice(true);
        } else {
            return;
        }
    }
    if (output == AudioOutput::DefaultDevice && !deviceDone &&
        (now == State::Opening || GetTickCount64() >= nextDeviceAttempt)) {
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
    nextDeviceAttempt = GetTickCount64() + kDeviceRetryMs;
    std::unique_ptr<OutputDevice> fresh = openDevice ? openDevice(info.format) : nullptr;
    if (fresh) {
        std::uint64_t from = 0;
        {
            std::lock_guard lock(mutex);
            from = ReanchorClockLocked({});
        }
        writeCursor = from;
        if (Fill(*fresh, from) && fresh->Start()) {
            std::lock_guard lock(mutex);
            device = std::move(fresh);
            segmentBase = from;
            segmentQueued = writeCursor - from;
            state = State::DeviceClock;
            AnchorLocked(from);
            drainDeadline = 0;
            return;
        }
    }
    std::lock_guard lock(mutex);
    if (state == State::Opening) {
        state = State::RealTimeClock;
        AnchorLocked(0);
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
        const std::uint64_t available = decoded > writeCursor ? decoded - writeCursor : 0;
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
    if (!target.Queue(scratch.data(), static_cast<std::uint32_t>(bytes / blockAlign))) {
        return false;
    }
    writeCursor += bytes;
    return true;
}

// False when the device failed or stopped being the default one.
bool Playback::FeedDevice()
{
    const std::uint64_t before = writeCursor;
    if (!Fill(*device, PlayedBytes())) {
        return false;
    }
    std::uint64_t end = 0;
    {
        std::lock_guard lock(mutex);
        segmentQueued = writeCursor - segmentBase;
        if (!sourceEnd || writeCursor < *sourceEnd) {
            return true;
        }
        end = *sourceEnd;
    }
    // Everything is queued: the device plays it out, or gives up on it.
    const ULONGLONG now = GetTickCount64();
    if (drainDeadline == 0) {
        drainDeadline = now + 1000ull * device->BufferFrames() / info.format.sampleRate + kDrainGraceMs;
    }
    const std::optional<std::uint32_t> room = device->FreeFrames();
    if (!room) {
        return false;
    }
    if ((writeCursor == before && *room == device->BufferFrames()) || now > drainDeadline || end == 0) {
        LeaveDevice(false);
    }
    return true;
}

// Lets the real-time clock carry on from the position reached; after a
// failure the next device picks up from there.
void Playback::LeaveDevice(bool failed)
{
    // Only this thread replaces the device, so it reads its clock without the lock.
    const DeviceClockReading reading{.device = device.get(), .frames = device->PlayedFrames()};
    std::unique_ptr<OutputDevice> old;
    {
        std::unique_lock lock(mutex);
        const std::uint64_t reached = ReanchorClockLocked(reading);
        old = TakeDeviceLocked(lock);
        state = State::RealTimeClock;
        AnchorLocked(reached);
        segmentBase = reached;
        segmentQueued = 0;
        writeCursor = reached;
    }
    old.reset();
    deviceDone = !failed;
    nextDeviceAttempt = 0;
}
