#include "capture/capture_options.h"
#include "capture/frame_capture.h"
#include "capture/png_frame_writer.h"
#include "capture/raw_frame_writer.h"
#include "texture/image_decoder.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <wincodec.h>
#include <windows.h>
#include <wrl/client.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <new>
#include <stop_token>
#include <string>
#include <vector>

namespace {

using Microsoft::WRL::ComPtr;

struct PackedFrame {
    std::uint64_t index;
    std::vector<std::uint8_t> bytes;
};

// Keeps every frame, rows packed.
std::vector<PackedFrame> CaptureAll(FrameCapture& capture, const CaptureRange& range, double fps)
{
    std::vector<PackedFrame> frames;
    const auto sink = [&](const CapturedFrame& frame) {
        PackFrameRows(frame, frames.emplace_back(PackedFrame{frame.index, {}}).bytes);
        return std::optional<std::string>();
    };
    EXPECT_EQ(capture.Capture(range, fps, sink), std::nullopt);
    return frames;
}

std::string TempPath(const char* name)
{
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    return std::string(folder) + name + std::to_string(GetCurrentProcessId());
}

class FrameCaptureTest : public testing::Test {
protected:
    static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    static void TearDownTestSuite() { CoUninitialize(); }
};

TEST_F(FrameCaptureTest, CapturesOfOneRangeAreIdenticalAndComplete)
{
    FrameCapture capture(96, 54);
    ASSERT_FALSE(capture.DeviceProblem());
    ASSERT_FALSE(capture.SizeProblem());

    // Not a whole number of frames, and fewer than there are frames in flight.
    const CaptureRange range{0.5, 0.55};
    const std::vector<PackedFrame> first = CaptureAll(capture, range, 60.0);
    const std::vector<PackedFrame> second = CaptureAll(capture, range, 60.0);
    ASSERT_EQ(first.size(), 3u);
    ASSERT_EQ(second.size(), 3u);
    for (std::size_t n = 0; n < first.size(); ++n) {
        EXPECT_EQ(first[n].index, n);
        EXPECT_TRUE(first[n].bytes == second[n].bytes) << "frame " << n;
    }
    EXPECT_FALSE(first[0].bytes == first[2].bytes);  // the picture moves with time

    // More frames than are in flight, in order, the last one included.
    const std::vector<PackedFrame> longer = CaptureAll(capture, {0.5, 0.6}, 60.0);
    ASSERT_EQ(longer.size(), 6u);
    EXPECT_EQ(longer[5].index, 5u);
    EXPECT_TRUE(longer[2].bytes == first[2].bytes);
    EXPECT_GT(capture.timings.readBack + capture.timings.drawing, 0.0);
}

TEST_F(FrameCaptureTest, EveryWayOfStoppingStopsAtThatFrame)
{
    FrameCapture capture(96, 54);
    ASSERT_FALSE(capture.DeviceProblem());
    // A refusal, an allocation that fails on the writer's thread and an
    // interrupt all come while frame 1 of 60 is written. The capture learns of
    // it at the latest when the writer's buffers are full, so no more frames
    // are drawn than that one and those in flight and queued behind it.
    constexpr std::uint64_t kStopAt = 1;
    constexpr std::uint64_t kMostDrawn =
        kStopAt + FrameCapture::kFramesInFlight + FrameCapture::kFramesQueuedForWriting;
    std::stop_source interrupt;
    int calls = 0;
    const struct {
        const char* problem;
        std::function<std::optional<std::string>()> atStop;
    } cases[] = {
        {"disk full", [] { return std::optional<std::string>("disk full"); }},
        {"out of memory", []() -> std::optional<std::string> { throw std::bad_alloc(); }},
        {"interrupted",
         [&] {
             interrupt.request_stop();
             return std::optional<std::string>();
         }},
    };
    for (const auto& c : cases) {
        calls = 0;
        const auto sink = [&](const CapturedFrame& frame) {
            ++calls;
            return frame.index == kStopAt ? c.atStop() : std::nullopt;
        };
        EXPECT_EQ(capture.Capture({0.0, 1.0}, 60.0, sink, {}, interrupt.get_token()), c.problem);
        EXPECT_LE(capture.framesDrawn, kMostDrawn) << c.problem;
        if (c.problem != std::string("interrupted")) {
            EXPECT_EQ(calls, 2) << c.problem;  // nothing is handed over after a refusal
        }
    }
}

TEST_F(FrameCaptureTest, SizeAboveTheDevicesLargestTextureIsNamed)
{
    FrameCapture capture(kLargestFrameSide + 1, 8);
    const std::optional<std::string> problem = capture.SizeProblem();
    ASSERT_TRUE(problem);
    EXPECT_NE(problem->find("16385"), std::string::npos);
}

TEST_F(FrameCaptureTest, WritersStoreTheFramesPixels)
{
    // A frame whose rows are padded, as a device may hand them over.
    constexpr std::uint32_t width = 5;
    constexpr std::uint32_t height = 3;
    constexpr std::uint32_t pitch = 32;
    std::vector<std::uint8_t> pixels(pitch * height, 0xEE);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width * 4; ++x) {
            pixels[y * pitch + x] = static_cast<std::uint8_t>(y * 40 + x);
        }
    }
    const CapturedFrame frame{pixels.data(), pitch, width, height, 7};

    const std::string rawPath = TempPath("vexlar-raw-");
    {
        RawFrameWriter raw(rawPath);
        ASSERT_EQ(raw.Open(), std::nullopt);
        ASSERT_EQ(raw.Write(frame), std::nullopt);
        ASSERT_EQ(raw.Write(frame), std::nullopt);
        ASSERT_EQ(raw.Close(), std::nullopt);
    }
    const std::string incompletePath = TempPath("vexlar-incomplete-");
    {
        RawFrameWriter incomplete(incompletePath);
        ASSERT_EQ(incomplete.Open(), std::nullopt);
        ASSERT_EQ(incomplete.Write(frame), std::nullopt);
    }  // however a capture ends, a file not closed as complete goes
    EXPECT_EQ(GetFileAttributesA(incompletePath.c_str()), INVALID_FILE_ATTRIBUTES);
    std::ifstream rawFile(rawPath, std::ios::binary);
    const std::vector<std::uint8_t> written{std::istreambuf_iterator<char>(rawFile), {}};
    rawFile.close();
    DeleteFileA(rawPath.c_str());
    ASSERT_EQ(written.size(), 2u * width * height * 4);
    for (std::uint32_t y = 0; y < height; ++y) {
        EXPECT_EQ(0, std::memcmp(&written[y * width * 4], &pixels[y * pitch], width * 4)) << "row " << y;
    }
    const std::optional<std::string> unopened = RawFrameWriter(TempPath("no-such-folder-") + "\\frames.bgra").Open();
    ASSERT_TRUE(unopened);
    EXPECT_NE(unopened->find("cannot open"), std::string::npos);

    const std::string folder = TempPath("vexlar-png-");
    PngFrameWriter png(folder);
    ASSERT_EQ(png.Prepare(), std::nullopt);
    ASSERT_EQ(png.Write(frame), std::nullopt);
    const std::string file = folder + "\\frame_000007.png";
    const std::optional<std::string> problem = png.Prepare();
    ASSERT_TRUE(problem);  // frames already there are not mixed with new ones
    EXPECT_NE(problem->find("already holds frames"), std::string::npos);

    bool isFactory2 = false;
    IWICImagingFactory* factory = AcquireImagingFactory(isFactory2);
    ASSERT_TRUE(factory);
    const std::wstring wideFile(file.begin(), file.end());
    ComPtr<IWICBitmapDecoder> decoder;
    ASSERT_HRESULT_SUCCEEDED(factory->CreateDecoderFromFilename(wideFile.c_str(), nullptr, GENERIC_READ,
                                                                WICDecodeMetadataCacheOnDemand, &decoder));
    ComPtr<IWICBitmapFrameDecode> decoded;
    ASSERT_HRESULT_SUCCEEDED(decoder->GetFrame(0, &decoded));
    WICPixelFormatGUID format{};
    decoded->GetPixelFormat(&format);
    EXPECT_TRUE(format == GUID_WICPixelFormat24bppBGR);
    std::vector<std::uint8_t> bgr(width * height * 3);
    ASSERT_HRESULT_SUCCEEDED(decoded->CopyPixels(nullptr, width * 3, static_cast<UINT>(bgr.size()), bgr.data()));
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            for (std::uint32_t c = 0; c < 3; ++c) {
                EXPECT_EQ(bgr[(y * width + x) * 3 + c], pixels[y * pitch + x * 4 + c]) << x << "," << y << "," << c;
            }
        }
    }
    decoded.Reset();
    decoder.Reset();
    DeleteFileA(file.c_str());
    RemoveDirectoryA(folder.c_str());
}

}  // namespace
