// The feeding thread's work: opens the default device, or takes over from
// one lost, and lets it carry on from the position reached; fills it from
// the decoded queue, at most one buffer ahead of what is heard; steers it
// through seeks and holds; hands its clock's readings to the state; and lets
// it go at the end, on a failure, or to the real-time clock.
#pragma once

#include "audio/output_device.h"
#include "audio/pcm_source.h"
#include "audio/playback_state.h"
#include "audio/stream_decoder.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class DeviceFeeder {
public:
    // `stop` and `stopping` end Run.
    DeviceFeeder(PlaybackState& shared, StreamDecoder& decoded, DeviceOpener opener, const StreamInfo& stream,
                 AudioOutput out, MicrosecondClock time, HANDLE stop, const std::atomic<bool>& stopping);

    // Feeding thread, in COM's multithreaded apartment: feeds until asked to stop.
    void Run();
    // Feeding thread, once the state knows it is gone, before it leaves the apartment.
    void CloseDevice() { device.reset(); }

private:
    void Serve();
    void TryDevice();
    // False when the device failed or stopped being the default one.
    bool FeedDevice();
    // Carries a seek, a pause or a resumption to the device; false when it failed.
    bool SteerDevice(const FeederOrders& steer);
    // After a failure the next device picks up from the position reached.
    // One that played the stream out (`drained`) stays when a seek came meanwhile.
    void LeaveDevice(bool failed, bool drained = false);
    bool Fill(OutputDevice& target, std::uint64_t heard);

    PlaybackState& state;
    StreamDecoder& decoder;
    const DeviceOpener openDevice;
    const StreamInfo info;
    const AudioOutput output;
    const MicrosecondClock now;
    const HANDLE stopEvent;
    const std::atomic<bool>& stopRequested;

    std::unique_ptr<OutputDevice> device;
    std::vector<std::uint8_t> scratch;
    std::uint64_t writeCursor = 0;        // stream offset of the next byte for the device
    std::uint64_t nextDeviceAttempt = 0;  // microseconds
    std::uint64_t drainDeadline = 0;      // microseconds
    bool deviceDone = false;
    bool deviceStarted = false;  // the device plays (not stopped for a hold)
};
