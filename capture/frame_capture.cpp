#include "capture/frame_capture.h"

#include "capture/frame_writer_thread.h"
#include "render/camera.h"
#include "scene/draw_scene_frame.h"
#include "scene/frame_transforms.h"
#include "scene/scene_objects.h"

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::uint32_t LargestSide(D3D_FEATURE_LEVEL level)
{
    if (level >= D3D_FEATURE_LEVEL_11_0) {
        return D3D11_REQ_TEXTURE2D_U_OR_V_DIMENSION;
    }
    if (level >= D3D_FEATURE_LEVEL_10_0) {
        return D3D10_REQ_TEXTURE2D_U_OR_V_DIMENSION;
    }
    return 4096;
}

}  // namespace

FrameCapture::FrameCapture(std::uint32_t width, std::uint32_t height)
    : width(width), height(height), graphics(width, height)
{
    if (!graphics.device || !graphics.renderTargetView || !graphics.depthStencilView) {
        return;
    }
    sceneObjects = std::make_unique<SceneObjects>(graphics.device.Get());
    scene = sceneObjects->Entries();
    const D3D11_TEXTURE2D_DESC stagingDesc{.Width = width,
                                           .Height = height,
                                           .MipLevels = 1,
                                           .ArraySize = 1,
                                           .Format = DXGI_FORMAT_B8G8R8A8_UNORM,
                                           .SampleDesc = {.Count = 1, .Quality = 0},
                                           .Usage = D3D11_USAGE_STAGING,
                                           .CPUAccessFlags = D3D11_CPU_ACCESS_READ};
    for (std::size_t i = 0; i < kFramesInFlight; ++i) {
        Microsoft::WRL::ComPtr<ID3D11Texture2D> texture;
        if (FAILED(graphics.device->CreateTexture2D(&stagingDesc, nullptr, &texture))) {
            staging.clear();
            return;
        }
        staging.push_back(texture);
    }
}

FrameCapture::~FrameCapture() = default;

std::optional<std::string> FrameCapture::SizeProblem() const
{
    if (!graphics.device) {
        return std::nullopt;
    }
    const std::uint32_t largest = LargestSide(graphics.device->GetFeatureLevel());
    if (width > largest || height > largest) {
        return "a side of " + std::to_string(width > largest ? width : height) + " pixels is above this device's " +
               "largest texture (" + std::to_string(largest) + ")";
    }
    return std::nullopt;
}

std::optional<std::string> FrameCapture::DeviceProblem() const
{
    if (!graphics.device) {
        return "no Direct3D 11 device could be created";
    }
    if (!graphics.renderTargetView || !graphics.depthStencilView || staging.size() != kFramesInFlight) {
        return "the device has no room for frames of " + std::to_string(width) + "x" + std::to_string(height);
    }
    // Without shaders the live program still clears the screen, but a
    // recording of only the background would be a silently wrong picture.
    if (!sceneObjects->HasShaders()) {
        return "the shaders could not be loaded: run from the run folder, which holds shaders\\";
    }
    return std::nullopt;
}

std::optional<std::string> FrameCapture::Capture(const CaptureRange& range, double fps, const FrameSink& sink,
                                                 const CaptureProgress& progress, std::stop_token stop)
{
    timings = {};
    framesDrawn = 0;
    // The live program's view lags the camera's position by one frame. A
    // capture that starts at 0 is the program's first frame; one that starts
    // later sees the position of the frame before, as the live program running
    // at this rate would.
    Camera camera(width, height, nullptr);
    const double previous = CaptureFrameTime(range, fps, -1);
    if (previous >= 0.0) {
        const auto before = static_cast<float>(previous);
        const EyePosition eye = FrameEyePosition(before, tracks.ValuesAt(before));
        camera.MoveTo(eye.x, eye.y, eye.z);
    }

    const std::uint64_t count = CaptureFrameCount(range, fps);
    FrameWriterThread writer(sink, kFramesQueuedForWriting);
    std::optional<std::string> problem = writer.Start();
    std::uint64_t delivered = 0;
    const auto deliverOldest = [&] {
        problem = Deliver(delivered++, writer);
        if (!problem && progress) {
            progress(writer.Written());
        }
    };
    const auto stopped = [&] {
        if (!problem && stop.stop_requested()) {
            problem = "interrupted";
        }
        return problem.has_value();
    };
    for (std::uint64_t n = 0; n < count && !stopped(); ++n) {
        const Clock::time_point drawStart = Clock::now();
        const auto t = static_cast<float>(CaptureFrameTime(range, fps, static_cast<std::int64_t>(n)));
        DrawSceneFrame(graphics, camera, scene, t, tracks.ValuesAt(t));
        graphics.context->CopyResource(staging[n % kFramesInFlight].Get(), graphics.offscreenTarget.Get());
        // Start the device on this frame while the oldest one is read back.
        graphics.context->Flush();
        timings.drawing += SecondsSince(drawStart);
        ++framesDrawn;

        if (n + 1 >= kFramesInFlight) {
            deliverOldest();
        }
    }
    while (delivered < count && !stopped()) {
        deliverOldest();
    }
    // After a problem the queued frames are of no use.
    std::optional<std::string> refusal = problem ? writer.Drop() : writer.Finish();
    timings.writing = writer.WritingSeconds();
    if (problem || refusal) {
        return problem ? problem : refusal;
    }
    if (progress) {
        progress(writer.Written());
    }
    return std::nullopt;
}

std::optional<std::string> FrameCapture::Deliver(std::uint64_t index, FrameWriterThread& writer)
{
    ID3D11Texture2D* texture = staging[index % kFramesInFlight].Get();
    const Clock::time_point mapStart = Clock::now();
    D3D11_MAPPED_SUBRESOURCE mapped{};
    if (FAILED(graphics.context->Map(texture, 0, D3D11_MAP_READ, 0, &mapped))) {
        return "a frame could not be read back from the device";
    }
    timings.readBack += SecondsSince(mapStart);

    const Clock::time_point handOverStart = Clock::now();
    std::optional<std::string> refusal =
        writer.Push(CapturedFrame{.pixels = static_cast<const std::uint8_t*>(mapped.pData),
                                  .rowPitch = mapped.RowPitch,
                                  .width = width,
                                  .height = height,
                                  .index = index});
    graphics.context->Unmap(texture, 0);
    timings.handOver += SecondsSince(handOverStart);
    return refusal;
}
