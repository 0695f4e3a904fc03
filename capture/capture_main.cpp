// vexlar-capture: the demo's frames drawn offscreen at exact music times and
// written as raw BGRA or PNG files, for recording a video.
#include "capture/capture_options.h"
#include "capture/frame_capture.h"
#include "capture/png_frame_writer.h"
#include "capture/raw_frame_writer.h"
#include "platform/dll_search.h"
#include "scene/com_apartment.h"
#include "scene/music.h"

#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int kBadArgumentsExitCode = 2;
constexpr int kCaptureFailedExitCode = 1;

int Fail(int exitCode, const std::string& message)
{
    std::fprintf(stderr, "vexlar-capture: %s\n", message.c_str());
    if (exitCode == kBadArgumentsExitCode) {
        std::fputs("Try vexlar-capture.exe --help\n", stderr);
    }
    return exitCode;
}

// Private memory: what a leak would grow. Wine leaves PrivateUsage at 0 but
// fills PagefileUsage, which Windows reports with the same value.
double MemoryMiB()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<double>(counters.PagefileUsage) / (1024.0 * 1024.0);
}

// What is left of the output when a capture stops partway.
std::string StoppedOutput(CaptureOutput output)
{
    switch (output) {
    case CaptureOutput::RawFile:
        return "capture stopped, the incomplete file deleted";
    case CaptureOutput::RawStdout:
        return "capture stopped, the output incomplete";
    case CaptureOutput::PngFolder:
        break;
    }
    return "capture stopped, the frames written so far incomplete";
}

}  // namespace

int main(int argc, char* argv[])
{
    SearchSystemFolderOnlyForDlls();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    CaptureOptions options;
    if (const std::optional<std::string> problem = ParseCaptureOptions(arguments, options)) {
        return Fail(kBadArgumentsExitCode, *problem);
    }
    if (options.help) {
        std::fputs(CaptureUsage().c_str(), stdout);
        return 0;
    }

    ComApartment com;
    CaptureRange range;
    if (const std::optional<std::string> problem = ResolveCaptureRange(options, MusicSeconds(), range)) {
        return Fail(kBadArgumentsExitCode, *problem);
    }

    FrameCapture capture(options.width, options.height);
    if (const std::optional<std::string> problem = capture.SizeProblem()) {
        return Fail(kBadArgumentsExitCode, *problem);
    }
    if (const std::optional<std::string> problem = capture.DeviceProblem()) {
        return Fail(kCaptureFailedExitCode, *problem);
    }

    // The output is opened last, so that a refused capture leaves no empty file.
    std::optional<RawFrameWriter> raw;
    std::optional<PngFrameWriter> png;
    FrameSink sink;
    if (options.output == CaptureOutput::PngFolder) {
        png.emplace(options.path);
        if (const std::optional<std::string> problem = png->Prepare()) {
            return Fail(kCaptureFailedExitCode, *problem);
        }
        sink = [&](const CapturedFrame& frame) { return png->Write(frame); };
    } else {
        raw.emplace(options.path);
        if (const std::optional<std::string> problem = raw->Open()) {
            return Fail(kCaptureFailedExitCode, *problem);
        }
        sink = [&](const CapturedFrame& frame) { return raw->Write(frame); };
    }

    const std::uint64_t total = CaptureFrameCount(range, options.fps);
    std::fprintf(stderr, "Capturing %llu frames of %ux%u at %g frames/s, music time %.3f s to %.3f s\n",
                 static_cast<unsigned long long>(total), options.width, options.height, options.fps, range.from,
                 range.to);
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    Clock::time_point lastReport = start;
    double memoryAtFirstReport = 0.0;
    double memoryPeak = 0.0;
    std::uint64_t lastReported = 0;
    const auto progress = [&](std::uint64_t done) {
        const Clock::time_point now = Clock::now();
        if (done == lastReported || (now - lastReport < std::chrono::seconds(1) && done != total)) {
            return;
        }
        lastReported = done;
        lastReport = now;
        const double elapsed = std::chrono::duration<double>(now - start).count();
        const double rate = elapsed > 0.0 ? static_cast<double>(done) / elapsed : 0.0;
        const double left = rate > 0.0 ? static_cast<double>(total - done) / rate : 0.0;
        const double memory = MemoryMiB();
        memoryAtFirstReport = memoryAtFirstReport == 0.0 ? memory : memoryAtFirstReport;
        memoryPeak = memory > memoryPeak ? memory : memoryPeak;
        std::fprintf(stderr, "frame %llu/%llu  %.1f frames/s  %.0f s left  %.0f MiB private\n",
                     static_cast<unsigned long long>(done), static_cast<unsigned long long>(total), rate, left, memory);
    };

    const std::optional<std::string> problem = capture.Capture(range, options.fps, sink, progress);
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    if (problem) {
        if (raw) {
            raw->Discard();
        }
        return Fail(kCaptureFailedExitCode, *problem + "; " + StoppedOutput(options.output));
    }
    const CaptureTimings& timings = capture.timings;
    std::fprintf(stderr,
                 "Captured %llu frames in %.2f s (%.1f frames/s): drawing %.2f s, read-back %.2f s, hand-over %.2f s, "
                 "writing (beside them) %.2f s; "
                 "private memory %.0f MiB at the first report, %.0f MiB at most\n",
                 static_cast<unsigned long long>(total), elapsed, static_cast<double>(total) / elapsed, timings.drawing,
                 timings.readBack, timings.handOver, timings.writing, memoryAtFirstReport, memoryPeak);
    if (options.output != CaptureOutput::RawStdout) {
        std::fprintf(stderr, "Frames are in %s\n", options.path.c_str());
    }
    return 0;
}
