// vexlar-capture: the demo's frames drawn offscreen at exact music times and
// written as raw BGRA or PNG files, for recording a video.
#include "capture/capture_options.h"
#include "capture/console_interrupt.h"
#include "capture/frame_capture.h"
#include "capture/png_frame_writer.h"
#include "capture/raw_frame_writer.h"
#include "platform/unicode_text.h"
#include "platform/dll_search.h"
#include "scene/com_apartment.h"
#include "scene/music.h"
#include "scene/scene_content.h"
#include "scene/tracks_file.h"

#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int kBadArgumentsExitCode = 2;
constexpr int kCaptureFailedExitCode = 1;
// What shells give a program that Ctrl+C ended.
constexpr int kInterruptedExitCode = 130;

// Standard error takes our UTF-8 text: as characters on a console, whatever
// its code page; as UTF-8 bytes into a file or pipe.
void PrintToStderr(const std::string& text)
{
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(error, &mode)) {
        const std::wstring wide = Utf16FromUtf8(text);
        DWORD written = 0;
        WriteConsoleW(error, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    std::fputs(text.c_str(), stderr);
}

int Fail(int exitCode, const std::string& message)
{
    PrintToStderr("vexlar-capture: " + message + "\n");
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

// Where a capture stopped partway, and what is left of its output.
std::string Stopped(CaptureOutput output, std::uint64_t drawn, std::uint64_t total)
{
    const std::string stopped =
        "capture stopped after drawing " + std::to_string(drawn) + " of " + std::to_string(total) + " frames, ";
    switch (output) {
    case CaptureOutput::RawFile:
        return stopped + "the incomplete file deleted";
    case CaptureOutput::RawStdout:
        return stopped + "the output incomplete";
    case CaptureOutput::PngFolder:
        break;
    }
    return stopped + "the files written so far kept, each whole";
}

int Run(int argc, wchar_t* argv[])
{
    // First, so that an interrupt from now on always ends through the clean-up below.
    const ConsoleInterrupt interrupt;
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        std::optional<std::string> argument = Utf8FromUtf16(argv[i]);
        if (!argument) {
            return Fail(kBadArgumentsExitCode, "argument " + std::to_string(i) + " is not valid Unicode");
        }
        arguments.push_back(std::move(*argument));
    }
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
    const std::optional<double> musicSeconds = MusicSeconds();
    EndMusic();  // only its length was wanted
    if (const std::optional<std::string> problem = ResolveCaptureRange(options, musicSeconds, range)) {
        return Fail(kBadArgumentsExitCode, *problem);
    }

    FrameCapture capture(options.width, options.height);
    if (const std::optional<std::string> problem = capture.SizeProblem()) {
        return Fail(kBadArgumentsExitCode, *problem);
    }
    if (const std::optional<std::string> problem = capture.DeviceProblem()) {
        return Fail(kCaptureFailedExitCode, *problem);
    }
    // A refused tracks file is told, and the capture draws without tracks.
    if (const std::optional<std::string> problem = UseTracksFile(capture.tracks, kTracksFile)) {
        PrintToStderr("vexlar-capture: " + *problem + "\n");
    }

    // The output is opened last, so that a refused capture leaves no empty
    // file. The sink owns its writer with this function, so that the writer
    // thread never calls one that is gone.
    std::shared_ptr<RawFrameWriter> raw;
    FrameSink sink;
    if (options.output == CaptureOutput::PngFolder) {
        const auto png = std::make_shared<PngFrameWriter>(options.path);
        if (const std::optional<std::string> problem = png->Prepare()) {
            return Fail(kCaptureFailedExitCode, *problem);
        }
        sink = [png](const CapturedFrame& frame) { return png->Write(frame); };
    } else {
        raw = std::make_shared<RawFrameWriter>(options.path);
        if (const std::optional<std::string> problem = raw->Open()) {
            return Fail(kCaptureFailedExitCode, *problem);
        }
        sink = [raw](const CapturedFrame& frame) { return raw->Write(frame); };
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

    std::optional<std::string> problem = capture.Capture(range, options.fps, sink, progress, interrupt.Token());
    if (!problem && raw) {
        problem = raw->Close();
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    if (problem) {
        if (raw) {
            raw->Discard();
        }
        return Fail(interrupt.Requested() ? kInterruptedExitCode : kCaptureFailedExitCode,
                    *problem + "; " + Stopped(options.output, capture.framesDrawn, total));
    }
    const CaptureTimings& timings = capture.timings;
    std::fprintf(stderr,
                 "Captured %llu frames in %.2f s (%.1f frames/s): drawing %.2f s, read-back %.2f s, hand-over %.2f s, "
                 "writing (beside them) %.2f s; "
                 "private memory %.0f MiB at the first report, %.0f MiB at most\n",
                 static_cast<unsigned long long>(total), elapsed, static_cast<double>(total) / elapsed, timings.drawing,
                 timings.readBack, timings.handOver, timings.writing, memoryAtFirstReport, memoryPeak);
    if (options.output != CaptureOutput::RawStdout) {
        PrintToStderr("Frames are in " + options.path + "\n");
    }
    return 0;
}

}  // namespace

// UTF-16 arguments, so that names outside the ANSI code page arrive whole.
// NOLINTNEXTLINE(readability-identifier-naming): the entry point's name is the C runtime's.
int wmain(int argc, wchar_t* argv[])
{
    SearchSystemFolderOnlyForDlls();
    // The standard library's allocation and length errors, for frames too
    // large for this machine; the output is cleaned up on the way here.
    try {
        return Run(argc, argv);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    return Fail(kCaptureFailedExitCode, "not enough memory for frames of this size; capture stopped");
}
