// One opened output device that plays queued PCM and counts what it played.
#pragma once

#include "audio/pcm_source.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

struct DevicePosition {
    std::uint64_t frames = 0;
    std::uint64_t time = 0;  // microseconds on the performance counter; 0 when the device does not tell
};

class OutputDevice {
public:
    virtual ~OutputDevice() = default;

    // Frames the device's queue holds at most.
    virtual std::uint32_t BufferFrames() const = 0;
    // Frames that can be queued now; nullopt once the device is gone, failed,
    // or is no longer the system's default device.
    virtual std::optional<std::uint32_t> FreeFrames() = 0;
    virtual bool Queue(const std::uint8_t* data, std::uint32_t frames) = 0;
    virtual bool Start() = 0;
    // Stops playing, keeping what is queued and the count of frames played.
    virtual bool Stop() = 0;
    // Stops playing and drops what is queued; the count of frames played
    // starts again at 0. Start plays what is queued after.
    virtual bool Discard() = 0;
    // Frames played since it was opened, and when; nullopt when the device
    // cannot say. Called by the thread that feeds it.
    virtual std::optional<DevicePosition> PlayedFrames() = 0;
    // Signalled when room frees up in the queue; may be null.
    virtual HANDLE ReadyEvent() const = 0;
};

// Called on the library's thread, inside COM's multithreaded apartment;
// nullptr when there is no usable device.
using DeviceOpener = std::function<std::unique_ptr<OutputDevice>(const PcmFormat&)>;

// The system's default output device through WASAPI in shared mode.
std::unique_ptr<OutputDevice> OpenDefaultOutputDevice(const PcmFormat& format);

// True when the system has a default output device. Called on any thread.
bool DefaultOutputDeviceExists();
