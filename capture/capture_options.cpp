#include "capture/capture_options.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>

namespace {

// A whole argument as a finite number; "inf", "nan" and trailing text are refused.
std::optional<double> ParseNumber(const std::string& text)
{
    double value = 0.0;
    const char* end = text.data() + text.size();
    const auto [last, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || last != end || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::uint32_t> ParseSide(const std::string& text)
{
    std::uint32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [last, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || last != end) {
        return std::nullopt;
    }
    return value;
}

std::string Seconds(double seconds)
{
    char text[32];
    // Past fixed point's room an exponent, so an absurd number is never cut short.
    std::snprintf(text, sizeof text, std::abs(seconds) < 1e15 ? "%.3f" : "%.3e", seconds);
    return text;
}

}  // namespace

std::optional<std::string> ParseCaptureOptions(const std::vector<std::string>& arguments, CaptureOptions& parsed)
{
    CaptureOptions options;
    std::vector<std::string> seen;
    bool hasOutput = false;
    // Asking for help anywhere is answered, whatever else is wrong.
    for (const std::string& argument : arguments) {
        if (argument == "--help" || argument == "-h") {
            options.help = true;
            parsed = options;
            return std::nullopt;
        }
    }
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& name = arguments[i];
        const bool known = name == "--fps" || name == "--size" || name == "--from" || name == "--to" ||
                           name == "--out" || name == "--png";
        if (!known) {
            return "unknown option '" + name + "'";
        }
        if (i + 1 == arguments.size()) {
            return name + " needs a value";
        }
        const bool isOutput = name == "--out" || name == "--png";
        for (const std::string& earlier : seen) {
            if (earlier == name) {
                return name + " is given twice";
            }
        }
        if (isOutput && hasOutput) {
            return "give one output: --out or --png, not both";
        }
        seen.push_back(name);
        hasOutput = hasOutput || isOutput;
        const std::string& value = arguments[++i];

        if (name == "--fps") {
            const std::optional<double> fps = ParseNumber(value);
            if (!fps || *fps < kLowestFps || *fps > kHighestFps) {
                return "--fps takes a number from 0.001 to 1000, not '" + value + "'";
            }
            options.fps = *fps;
        } else if (name == "--size") {
            const std::size_t x = value.find_first_of("xX");
            const std::optional<std::uint32_t> width =
                x == std::string::npos ? std::nullopt : ParseSide(value.substr(0, x));
            const std::optional<std::uint32_t> height =
                x == std::string::npos ? std::nullopt : ParseSide(value.substr(x + 1));
            if (!width || !height) {
                return "--size takes WIDTHxHEIGHT, such as 1280x720, not '" + value + "'";
            }
            if (*width == 0 || *height == 0 || *width > kLargestFrameSide || *height > kLargestFrameSide) {
                return "--size " + value + ": each side must be 1 to 16384 pixels";
            }
            options.width = *width;
            options.height = *height;
        } else if (name == "--from" || name == "--to") {
            const std::optional<double> seconds = ParseNumber(value);
            if (!seconds || *seconds < 0.0) {
                return name + " takes seconds of 0 or more, not '" + value + "'";
            }
            if (name == "--from") {
                options.from = *seconds;
            } else {
                options.to = *seconds;
            }
        } else if (name == "--png") {
            options.output = CaptureOutput::PngFolder;
            options.path = value;
        } else {
            options.output = value == "-" ? CaptureOutput::RawStdout : CaptureOutput::RawFile;
            options.path = value;
        }
    }
    if (!hasOutput) {
        return "no output: give --out FILE, --out - (standard output) or --png FOLDER";
    }
    if (options.to && *options.to <= options.from) {
        return "--to (" + Seconds(*options.to) + ") must come after --from (" + Seconds(options.from) + ")";
    }
    parsed = options;
    return std::nullopt;
}

std::string CaptureUsage()
{
    return "Usage: vexlar-capture.exe [options] (--out FILE | --out - | --png FOLDER)\n"
           "Draws the demo's frames offscreen at t = from + n / fps while t < to, from its run folder.\n"
           "\n"
           "  --fps N         frames per second, 0.001 to 1000 (default 60)\n"
           "  --size WxH      frame size in pixels, 1 to 16384 a side (default 1920x1080)\n"
           "  --from SECONDS  music time of the first frame (default 0)\n"
           "  --to SECONDS    end of the range, not included, at most 86400 (default: the end of\n"
           "                  the music; required when the music cannot be opened)\n"
           "  --out FILE      raw frames: BGRA, top row first, no header, one after another\n"
           "  --out -         the same on standard output\n"
           "  --png FOLDER    frame_000000.png, frame_000001.png, ... in FOLDER (made if missing;\n"
           "                  refused if it already holds frames)\n"
           "  --help          this text\n"
           "\n"
           "Progress goes to standard error. Exit codes:\n"
           "  0    every frame is written\n"
           "  1    a failure while capturing\n"
           "  2    bad arguments\n"
           "  130  stopped by Ctrl+C, Ctrl+Break or closing the console\n"
           "A capture that stops partway deletes its incomplete raw file; the PNG files it has\n"
           "written are whole.\n";
}

std::optional<std::string> ResolveCaptureRange(const CaptureOptions& options, std::optional<double> musicSeconds,
                                               CaptureRange& range)
{
    if (!musicSeconds && !options.to) {
        return "the music could not be opened, so the end is unknown: give --to";
    }
    const double to = options.to.value_or(musicSeconds.value_or(0.0));
    if (musicSeconds && to > *musicSeconds) {
        return "--to " + Seconds(to) + " is past the end of the music (" + Seconds(*musicSeconds) + ")";
    }
    if (to > kLatestSeconds) {
        return "the range must end within a day of music (" + Seconds(kLatestSeconds) + "), not at " + Seconds(to);
    }
    if (to <= options.from) {
        return "--from " + Seconds(options.from) + " is not before the end of the range (" + Seconds(to) + ")";
    }
    range = CaptureRange{options.from, to};
    return std::nullopt;
}

double CaptureFrameTime(const CaptureRange& range, double fps, std::int64_t n)
{
    return range.from + static_cast<double>(n) / fps;
}

std::uint64_t CaptureFrameCount(const CaptureRange& range, double fps)
{
    // The estimate can be one off either way through rounding; the frame
    // times themselves settle it.
    auto count = static_cast<std::int64_t>(std::ceil((range.to - range.from) * fps));
    while (count > 0 && CaptureFrameTime(range, fps, count - 1) >= range.to) {
        --count;
    }
    while (CaptureFrameTime(range, fps, count) < range.to) {
        ++count;
    }
    return static_cast<std::uint64_t>(count);
}
