#include "audio/device_feeder.h"

#include "audio/scale_down.h"
#include "audio/thread_events.h"

#include <algorithm>
#include <utility>

namespace {

// Wake-up even without the device's event, in case it never comes.
constexpr DWORD kFeedIntervalMs = 20;
// Time allowed past the expected end for the device to drain its queue.
constexpr std::uint64_t kDrainGraceMs = 2000;
// How often a default device is looked for again while there is none.
constexpr std::uint64_t kDeviceRetryUs = 1'000'000;

}  // namespace

DeviceFeeder::DeviceFeeder(PlaybackState& shared, StreamDecoder& decoded, DeviceOpener opener, const StreamInfo& stream,
                           AudioOutput out, MicrosecondClock time, HANDLE stop, const std::atomic<bool>& stopping)
    : state(shared), decoder(decoded), openDevice(std::move(opener)), info(stream), output(out), now(std::move(time)),
      stopEvent(stop), stopRequested(stopping)
{
}

void DeviceFeeder::Run()
{
    for (;;) {
        Serve();
        const HANDLE wakers[] = {stopEvent, state.FeederWake(), device ? device->ReadyEvent() : nullptr};
        const DWORD count = wakers[2] != nullptr ? 3 : 2;
        if (stopRequested || PacedWait(count, wakers, kFeedIntervalMs) == WAIT_OBJECT_0) {
            return;
        }
    }
}

void DeviceFeeder::Serve()
{
    const FeederOrders orders = state.TakeOrders(device != nullptr);
    if (!orders.started) {
        return;
    }
    if (orders.deviceWanted && !device) {
        // A stream that ended plays again from where it was sent back to.
        deviceDone = false;
        nextDeviceAttempt = 0;
    }
    if (orders.deviceless && !deviceDone) {
        // Found out after the start: the real-time clock takes over from
        // the position reached, which with nothing decoded is still 0.
        deviceDone = true;
        if (device) {
            LeaveDevice(false);
        } else {
            state.NoteNoDevice();
        }
        return;
    }
    if (device) {
        if (SteerDevice(orders) && FeedDevice()) {
            return;
        }
        LeaveDevice(true);
    }
    if (output == AudioOutput::DefaultDevice && !deviceDone && (orders.opening || now() >= nextDeviceAttempt)) {
        if (state.Finished()) {
            deviceDone = true;
            return;
        }
        TryDevice();
    }
}

// Opens the default device and lets it carry on from the position reached;
// without one, the real-time clock goes on from there.
void DeviceFeeder::TryDevice()
{
    nextDeviceAttempt = now() + kDeviceRetryUs;
    std::unique_ptr<OutputDevice> fresh = openDevice ? openDevice(info.format) : nullptr;
    if (fresh) {
        const DeviceStart start = state.PrepareDevice();
        writeCursor = start.from;
        // Held, it is fed but not started; the clock stays held.
        if (Fill(*fresh, start.from) && (start.held || fresh->Start())) {
            device = std::move(fresh);
            state.NoteDeviceTookOver(start.from, writeCursor);
            deviceStarted = !start.held;
            drainDeadline = 0;
            return;
        }
    }
    state.NoteNoDevice();
}

// Queues what the device has room for, at most one buffer ahead of what has
// been heard, so that a device without a clock of its own is held to real
// time as well.
bool DeviceFeeder::Fill(OutputDevice& target, std::uint64_t heard)
{
    const std::optional<std::uint32_t> room = target.FreeFrames();
    if (!room) {
        return false;
    }
    const std::uint32_t blockAlign = info.format.BlockAlign();
    const std::uint64_t bufferBytes = std::uint64_t{target.BufferFrames()} * blockAlign;
    const std::uint64_t allowed = heard + bufferBytes > writeCursor ? heard + bufferBytes - writeCursor : 0;
    if (!decoder.CopyDecoded(writeCursor, std::min(std::uint64_t{*room}, allowed / blockAlign) * blockAlign, scratch)) {
        return false;
    }
    if (scratch.empty()) {
        return true;
    }
    if (&target == device.get()) {
        // Counted before the device has it: a reading taken meanwhile may
        // include it, and must not be cut back to what was queued before,
        // which would leave the position behind the device's clock.
        state.NoteGiven(writeCursor + scratch.size());
    }
    if (!target.Queue(scratch.data(), static_cast<std::uint32_t>(scratch.size() / blockAlign))) {
        return false;
    }
    writeCursor += scratch.size();
    return true;
}

bool DeviceFeeder::FeedDevice()
{
    const std::uint64_t heard = state.NoteDeviceReading(device->PlayedFrames());
    const std::uint64_t before = writeCursor;
    if (!Fill(*device, heard)) {
        return false;
    }
    const std::optional<std::uint64_t> end = state.EndToDrain(writeCursor);
    if (!end) {
        drainDeadline = 0;  // held, it does not drain
        return true;
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
    if ((writeCursor == before && *room == device->BufferFrames()) || time > drainDeadline || *end == 0) {
        LeaveDevice(false, true);
    }
    return true;
}

void DeviceFeeder::LeaveDevice(bool failed, bool drained)
{
    const std::optional<std::uint64_t> reached = state.NoteDeviceLeft(device->PlayedFrames(), drained);
    if (!reached) {
        return;  // sought in its last turn: the next one feeds it from the new place
    }
    writeCursor = *reached;
    device.reset();
    deviceStarted = false;
    deviceDone = !failed;
    nextDeviceAttempt = 0;
}

// Seeks first: a device told to stop and then sent elsewhere is fed from the
// new place and stays stopped.
bool DeviceFeeder::SteerDevice(const FeederOrders& steer)
{
    if (steer.seekTo) {
        // What the device holds is of the place before: dropped, and the
        // device fed again from the new place.
        if (!device->Discard()) {
            return false;
        }
        deviceStarted = false;
        drainDeadline = 0;
        writeCursor = *steer.seekTo;
        if (!Fill(*device, *steer.seekTo)) {
            return false;
        }
        state.NoteDeviceSought(*steer.seekTo);
    }
    if (steer.held && deviceStarted) {
        if (!device->Stop()) {
            return false;
        }
        deviceStarted = false;
    } else if (!steer.held && !deviceStarted) {
        if (!device->Start()) {
            return false;
        }
        deviceStarted = true;
        state.NoteDevicePlays();
    }
    return true;
}
