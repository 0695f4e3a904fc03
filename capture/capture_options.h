#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The capture program's command line, free of any platform call.

enum class CaptureOutput {
    RawFile,    // BGRA frames one after another into a file
    RawStdout,  // the same on standard output
    PngFolder,  // one numbered PNG file per frame
};

struct CaptureOptions {
    double fps = 60.0;
    std::uint32_t width = 1920;
    std::uint32_t height = 1080;
    double from = 0.0;
    std::optional<double> to;  // the end of the music when not given
    CaptureOutput output = CaptureOutput::RawStdout;
    std::string path;  // the file or folder
    bool help = false;
};

// The largest texture side a Direct3D 11 device must take.
inline constexpr std::uint32_t kLargestFrameSide = 16384;
inline constexpr double kHighestFps = 1000.0;
// The camera's trailing view starts a frame before the range; at a slower
// rate that time would lie too far back for the scene's float time.
inline constexpr double kLowestFps = 0.001;
// The latest music time a capture reaches: a day. Frames are counted in
// 64-bit integers and their times handed to the scene as floats; a day at
// the highest rate is far inside both, an unbounded range is not.
inline constexpr double kLatestSeconds = 86400.0;

// Reads the arguments into `parsed`; the problem with them, if any, and
// then `parsed` is left as it was.
[[nodiscard]] std::optional<std::string> ParseCaptureOptions(const std::vector<std::string>& arguments,
                                                             CaptureOptions& parsed);

// The --help text.
std::string CaptureUsage();

// The captured range in seconds: [from, to).
struct CaptureRange {
    double from = 0.0;
    double to = 0.0;
};

// Completes the range with the music's length (none when the music could
// not be opened) and checks it against it and against kLatestSeconds; the
// problem, if any, and then `range` is left as it was.
[[nodiscard]] std::optional<std::string> ResolveCaptureRange(const CaptureOptions& options,
                                                             std::optional<double> musicSeconds, CaptureRange& range);

// Frame n is drawn at from + n / fps; these are the frames with that time
// before `to`. Both use the same arithmetic, so the count never disagrees
// with the times.
double CaptureFrameTime(const CaptureRange& range, double fps, std::int64_t n);
std::uint64_t CaptureFrameCount(const CaptureRange& range, double fps);
