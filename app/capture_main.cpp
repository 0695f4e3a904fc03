// vexlar-capture: the demo's frames drawn offscreen at exact music times and
// written as raw BGRA or PNG files, for recording a video.
#include "app/capture_options.h"
#include "app/com_apartment.h"
#include "app/frame_capture.h"
#include "app/png_frame_writer.h"
#include "app/raw_frame_writer.h"
#include "audio/bass.h"
#include "platform/dll_search.h"

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

// The music's length in seconds, asked of the audio library without playing it.
std::optional<double> MusicSeconds()
{
    BASS_Init(0, 44100, 0, nullptr, nullptr);
    const DWORD stream = BASS_StreamCreateFile(FALSE, L"music.mp3", 0, 0, BASS_UNICODE);
    if (stream == 0) {
        return std::nullopt;
    }
    const QWORD bytes = BASS_ChannelGetLength(stream, BASS_POS_BYTE);
    const double seconds = BASS_ChannelBytes2Seconds(stream, bytes);
    if (bytes == static_cast<QWORD>(-1) || seconds <= 0.0) {
        return std::nullopt;
    }
    return seconds;
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

std::string WriteFailure(const std::string& path, DWORD error)
{
    if (path == "-" && (error == ERROR_NO_DATA || error == ERROR_PIPE_NOT_CONNECTED || error == ERROR_BROKEN_PIPE)) {
        return "the reader of standard output went away (error " + std::to_string(error) + ")";
    }
    return "cannot write " + (path == "-" ? std::string("standard output") : path) + " (error " +
           std::to_string(error) + ")";
}

}  // namespace

int main(int argc, char* argv[])
{
    SearchSystemFolderOnlyForDlls();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const ParsedCaptureOptions parsed = ParseCaptureOptions(arguments);
    if (!parsed.options) {
        return Fail(kBadArgumentsExitCode, parsed.error);
    }
    const CaptureOptions& options = *parsed.options;
    if (options.help) {
        std::fputs(CaptureUsage().c_str(), stdout);
        return 0;
    }

    ComApartment com;
    const ResolvedCaptureRange resolved = ResolveCaptureRange(options, MusicSeconds());
    if (!resolved.range) {
        return Fail(kBadArgumentsExitCode, resolved.error);
    }
    const CaptureRange range = *resolved.range;

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
        std::string problem;
        if (!png->Prepare(problem)) {
            return Fail(kCaptureFailedExitCode, problem);
        }
        sink = [&](const CapturedFrame& frame) { return png->Write(frame); };
    } else {
        raw.emplace(options.path);
        if (!raw->IsOpen()) {
            return Fail(kCaptureFailedExitCode,
                        "cannot open " + options.path + " for writing (error " + std::to_string(raw->lastError) + ")");
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

    const CaptureStatus status = capture.Capture(range, options.fps, sink, progress);
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    if (status == CaptureStatus::DeviceFailed) {
        if (raw) {
            raw->Discard();
        }
        return Fail(kCaptureFailedExitCode, "a frame could not be read back from the device; output incomplete");
    }
    if (status == CaptureStatus::SinkFailed) {
        if (png) {
            char result[16];
            std::snprintf(result, sizeof result, "0x%08lX", static_cast<unsigned long>(png->lastResult));
            return Fail(kCaptureFailedExitCode, "cannot write a PNG file in " + options.path + " (" + result +
                                                    "); the frames written so far are incomplete");
        }
        raw->Discard();
        return Fail(kCaptureFailedExitCode, WriteFailure(options.path, raw->lastError) + "; capture stopped" +
                                                (options.path == "-" ? "" : " and the incomplete file deleted"));
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
