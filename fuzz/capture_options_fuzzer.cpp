// Any command line of the capture program, with or without music of any
// length, taken the way the capture program takes it: parsed, its range
// resolved, its frames counted and each frame's music time given to the
// scene as a float.
//
// Input: lines; the first is the music's length in seconds (no music when
// it is not a number of 0 or more), each further line one argument.
#include "capture/capture_options.h"
#include "fuzz/fuzz_check.h"

#include <charconv>
#include <cmath>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> lines;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    std::optional<double> musicSeconds;
    double seconds = 0.0;
    const std::string& first = lines.front();
    if (std::from_chars(first.data(), first.data() + first.size(), seconds).ec == std::errc() &&
        std::isfinite(seconds) && seconds >= 0.0) {
        musicSeconds = seconds;
    }
    lines.erase(lines.begin());

    CaptureOptions options;
    if (const std::optional<std::string> problem = ParseCaptureOptions(lines, options)) {
        Require(!problem->empty(), "a refusal says why");
        return 0;
    }
    if (options.help) {
        return 0;
    }
    CaptureRange range;
    if (const std::optional<std::string> problem = ResolveCaptureRange(options, musicSeconds, range)) {
        Require(!problem->empty(), "a refusal says why");
        return 0;
    }
    const std::uint64_t count = CaptureFrameCount(range, options.fps);
    const auto last = static_cast<std::int64_t>(count) - 1;
    Require(count > 0 && CaptureFrameTime(range, options.fps, last) < range.to &&
                CaptureFrameTime(range, options.fps, last + 1) >= range.to,
            "the count is every frame time before the end");
    // The frame before the first sets the camera's trailing view.
    for (const std::int64_t n : {std::int64_t{-1}, std::int64_t{0}, last}) {
        Require(std::isfinite(static_cast<float>(CaptureFrameTime(range, options.fps, n))),
                "the scene is given finite times");
    }
    return 0;
}
