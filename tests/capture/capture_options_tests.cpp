#include "capture/capture_options.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

// The options or the problem, as one value to assert on.
struct ParsedCaptureOptions {
    std::optional<CaptureOptions> options;
    std::string error;
};

ParsedCaptureOptions Parse(const std::vector<std::string>& arguments)
{
    CaptureOptions options;
    if (std::optional<std::string> problem = ParseCaptureOptions(arguments, options)) {
        return {std::nullopt, std::move(*problem)};
    }
    return {options, {}};
}

struct ResolvedCaptureRange {
    std::optional<CaptureRange> range;
    std::string error;
};

ResolvedCaptureRange Resolve(const CaptureOptions& options, std::optional<double> musicSeconds)
{
    CaptureRange range;
    if (std::optional<std::string> problem = ResolveCaptureRange(options, musicSeconds, range)) {
        return {std::nullopt, std::move(*problem)};
    }
    return {range, {}};
}

TEST(CaptureOptions, DefaultsAndEveryOption)
{
    const ParsedCaptureOptions defaults = Parse({"--out", "-"});
    ASSERT_TRUE(defaults.options) << defaults.error;
    EXPECT_EQ(defaults.options->fps, 60.0);
    EXPECT_EQ(defaults.options->width, 1920u);
    EXPECT_EQ(defaults.options->height, 1080u);
    EXPECT_EQ(defaults.options->from, 0.0);
    EXPECT_FALSE(defaults.options->to);
    EXPECT_EQ(defaults.options->output, CaptureOutput::RawStdout);

    const ParsedCaptureOptions all =
        Parse({"--fps", "29.97", "--size", "1280x720", "--from", "1.5", "--to", "3", "--png", "shots"});
    ASSERT_TRUE(all.options) << all.error;
    EXPECT_EQ(all.options->fps, 29.97);
    EXPECT_EQ(all.options->width, 1280u);
    EXPECT_EQ(all.options->height, 720u);
    EXPECT_EQ(all.options->from, 1.5);
    EXPECT_EQ(all.options->to, 3.0);
    EXPECT_EQ(all.options->output, CaptureOutput::PngFolder);
    EXPECT_EQ(all.options->path, "shots");

    EXPECT_EQ(Parse({"--out", "frames.bgra"}).options->output, CaptureOutput::RawFile);
    // The rates the help names as the ends are taken.
    for (const char* fps : {"0.001", "1000"}) {
        const ParsedCaptureOptions end = Parse({"--out", "-", "--fps", fps});
        ASSERT_TRUE(end.options) << end.error;
        EXPECT_EQ(end.options->fps, std::stod(fps));
    }
    const ParsedCaptureOptions help = Parse({"--fps", "0", "--help"});
    ASSERT_TRUE(help.options);
    EXPECT_TRUE(help.options->help);  // asked for, whatever else is wrong
    EXPECT_NE(CaptureUsage().find("--png FOLDER"), std::string::npos);
}

TEST(CaptureOptions, BadArgumentsAreRefusedWithTheirReason)
{
    const struct {
        std::vector<std::string> arguments;
        const char* reason;
    } cases[] = {
        {{"--out", "-", "--speed", "2"}, "unknown option '--speed'"},
        {{"frames"}, "unknown option 'frames'"},
        {{"--out", "-", "--fps"}, "--fps needs a value"},
        {{"--out"}, "--out needs a value"},
        {{}, "no output"},
        {{"--out", "-", "--png", "shots"}, "not both"},
        {{"--out", "a", "--out", "b"}, "given twice"},
        {{"--out", "-", "--fps", "0"}, "--fps takes"},
        {{"--out", "-", "--fps", "-30"}, "--fps takes"},
        {{"--out", "-", "--fps", "nan"}, "--fps takes"},
        {{"--out", "-", "--fps", "60fps"}, "--fps takes"},
        {{"--out", "-", "--fps", "1001"}, "--fps takes"},
        {{"--out", "-", "--fps", "1e-39"}, "--fps takes"},  // the frame before the first would be no float time
        {{"--out", "-", "--size", "0x720"}, "1 to 16384"},
        {{"--out", "-", "--size", "1280x0"}, "1 to 16384"},
        {{"--out", "-", "--size", "16385x16"}, "1 to 16384"},
        {{"--out", "-", "--size", "99999999999x16"}, "WIDTHxHEIGHT"},
        {{"--out", "-", "--size", "1280"}, "WIDTHxHEIGHT"},
        {{"--out", "-", "--size", "-1x720"}, "WIDTHxHEIGHT"},
        {{"--out", "-", "--size", "1280x720x3"}, "WIDTHxHEIGHT"},
        {{"--out", "-", "--from", "-1"}, "--from takes"},
        {{"--out", "-", "--to", "inf"}, "--to takes"},
        {{"--out", "-", "--from", "5", "--to", "2"}, "must come after"},
        {{"--out", "-", "--from", "2", "--to", "2"}, "must come after"},
    };
    for (const auto& c : cases) {
        const ParsedCaptureOptions parsed = Parse(c.arguments);
        std::string line;
        for (const std::string& argument : c.arguments) {
            line += argument + " ";
        }
        EXPECT_FALSE(parsed.options) << line;
        EXPECT_NE(parsed.error.find(c.reason), std::string::npos) << line << "-> " << parsed.error;
    }
}

TEST(CaptureOptions, RangeTakesTheMusicsEndAndStaysWithinIt)
{
    CaptureOptions options;
    options.from = 2.0;
    const ResolvedCaptureRange toEnd = Resolve(options, 64.0);
    ASSERT_TRUE(toEnd.range);
    EXPECT_EQ(toEnd.range->from, 2.0);
    EXPECT_EQ(toEnd.range->to, 64.0);

    EXPECT_NE(Resolve(options, std::nullopt).error.find("give --to"), std::string::npos);
    options.to = 10.0;
    EXPECT_EQ(Resolve(options, std::nullopt).range->to, 10.0);  // no music, an explicit end
    options.to = 64.5;
    EXPECT_NE(Resolve(options, 64.0).error.find("past the end"), std::string::npos);
    options.to.reset();
    options.from = 70.0;
    EXPECT_FALSE(Resolve(options, 64.0).range);

    // Past a day of music its frames could not be counted: refused, whether the end is given or the music's.
    options.from = 0.0;
    EXPECT_EQ(Resolve(options, 86400.0).range->to, 86400.0);
    EXPECT_NE(Resolve(options, 6e39).error.find("within a day"), std::string::npos);
    options.to = 1e300;
    EXPECT_NE(Resolve(options, std::nullopt).error.find("not at 1.000e+300"), std::string::npos);
}

TEST(CaptureOptions, FrameCountIsEveryFrameTimeBeforeTheEnd)
{
    const struct {
        CaptureRange range;
        double fps;
        std::uint64_t frames;
    } cases[] = {
        {{0.0, 1.0}, 60.0, 60},      // a whole number of frames: the end is not a frame
        {{0.0, 64.0}, 60.0, 3840},   // the whole demo
        {{0.5, 0.55}, 60.0, 3},      // 0.5, 0.5167, 0.5333
        {{0.0, 0.51}, 24.0, 13},     // part of a frame still starts one
        {{1.0, 1.001}, 60.0, 1},     // less than a frame: the first one
        {{0.1, 0.4}, 30.0, 9},       // (0.4 - 0.1) * 30 rounds above 9
        {{0.0, 10.01}, 29.97, 300},  // a rate that is not whole
    };
    for (const auto& c : cases) {
        const std::uint64_t count = CaptureFrameCount(c.range, c.fps);
        EXPECT_EQ(count, c.frames) << c.range.from << " to " << c.range.to << " at " << c.fps;
        // The count agrees with the frame times, whatever the rounding.
        EXPECT_LT(CaptureFrameTime(c.range, c.fps, static_cast<std::int64_t>(count) - 1), c.range.to);
        EXPECT_GE(CaptureFrameTime(c.range, c.fps, static_cast<std::int64_t>(count)), c.range.to);
    }
}

}  // namespace
