#pragma once

#include "capture/capture_options.h"
#include "capture/captured_frame.h"
#include "render/graphics.h"
#include "scene/track_player.h"

#include <d3d11.h>
#include <wrl/client.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

class FrameWriterThread;
class SceneObjects;
struct MeshObject;

// Told the number of frames handed over so far, after each one.
using CaptureProgress = std::function<void(std::uint64_t)>;

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
    [[nodiscard]] std::optional<std::string> SizeProblem() const;
    // Why nothing can be drawn (no device, target or shaders), if so.
    [[nodiscard]] std::optional<std::string> DeviceProblem() const;

    // Hands the frames of the range to the sink in order, on a thread of its
    // own; the problem that stopped it, if any (the sink's own, a frame that
    // could not be read back, or a stop asked for through `stop`, which is
    // looked at between frames). Each capture starts from a new camera, so
    // that captures of one range are identical.
    [[nodiscard]] std::optional<std::string> Capture(const CaptureRange& range, double fps, const FrameSink& sink,
                                                     const CaptureProgress& progress = {}, std::stop_token stop = {});

    static constexpr std::size_t kFramesInFlight = 3;
    static constexpr std::size_t kFramesQueuedForWriting = 2;

    std::uint32_t width;
    std::uint32_t height;
    Graphics graphics;
    std::unique_ptr<SceneObjects> sceneObjects;
    std::vector<MeshObject*> scene;
    TrackPlayer tracks;  // none unless given
    CaptureTimings timings;
    // Frames the last capture drew, those still in flight when it stopped included.
    std::uint64_t framesDrawn = 0;

private:
    [[nodiscard]] std::optional<std::string> Deliver(std::uint64_t index, FrameWriterThread& writer);

    std::vector<Microsoft::WRL::ComPtr<ID3D11Texture2D>> staging;
};
