#pragma once

#include "app/capture_options.h"
#include "render/graphics.h"

#include <d3d11.h>
#include <wrl/client.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class FrameWriterThread;
struct MeshObject;

// One drawn frame, valid only during the call that receives it.
struct CapturedFrame {
    const std::uint8_t* pixels;  // BGRA, top row first
    std::uint32_t rowPitch;      // bytes from one row to the next
    std::uint32_t width;
    std::uint32_t height;
    std::uint64_t index;
};

// Copies the frame's rows into `bytes`, packed: four bytes a pixel, no padding.
void PackFrameRows(const CapturedFrame& frame, std::vector<std::uint8_t>& bytes);

// Takes one frame; false stops the capture.
using FrameSink = std::function<bool(const CapturedFrame&)>;
// Told the number of frames handed over so far, after each one.
using CaptureProgress = std::function<void(std::uint64_t)>;

enum class CaptureStatus {
    Done,
    SinkFailed,    // the sink refused a frame
    DeviceFailed,  // a frame could not be read back
};

// Wall-clock seconds the capture spent in each stage. Writing runs on a
// thread of its own, beside the others.
struct CaptureTimings {
    double drawing = 0.0;   // issuing the clears, draws and copy
    double readBack = 0.0;  // waiting for a copy and mapping it
    double handOver = 0.0;  // waiting for a free buffer and copying the frame into it
    double writing = 0.0;   // inside the sink
};

// The demo's scene drawn without a window into a target of a given size, and
// read back through staging textures with several frames in flight.
class FrameCapture {
public:
    FrameCapture(std::uint32_t width, std::uint32_t height);
    ~FrameCapture();
    FrameCapture(const FrameCapture&) = delete;
    FrameCapture& operator=(const FrameCapture&) = delete;

    // Why the size cannot be drawn on this device, if so.
    std::optional<std::string> SizeProblem() const;
    // Why nothing can be drawn (no device, target or shaders), if so.
    std::optional<std::string> DeviceProblem() const;

    // Hands the frames of the range to the sink in order, on a thread of its
    // own. Each capture starts from a new camera, so that captures of one
    // range are identical.
    CaptureStatus Capture(const CaptureRange& range, double fps, const FrameSink& sink,
                          const CaptureProgress& progress = {});

    static constexpr std::size_t kFramesInFlight = 3;
    static constexpr std::size_t kFramesQueuedForWriting = 2;

    std::uint32_t width;
    std::uint32_t height;
    Graphics graphics;
    std::vector<MeshObject*> scene;
    CaptureTimings timings;

private:
    bool Deliver(std::uint64_t index, FrameWriterThread& writer, CaptureStatus& status);

    std::vector<Microsoft::WRL::ComPtr<ID3D11Texture2D>> staging;
};
