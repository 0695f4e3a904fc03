#include "demo/viewer_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::optional<std::string> Parse(const std::vector<std::wstring>& arguments, ViewerOptions& options)
{
    return ParseViewerOptions(arguments, options);
}

ViewerOptions Parsed(const std::vector<std::wstring>& arguments)
{
    ViewerOptions options;
    const std::optional<std::string> problem = Parse(arguments, options);
    EXPECT_EQ(problem, std::nullopt);
    return options;
}

TEST(ViewerOptions, TakesEachOptionInEitherSpellingAndNothingChangesWithoutThem)
{
    EXPECT_EQ(Parsed({}), ViewerOptions{});

    const WindowPlacement second{.mode = WindowMode::OneMonitor, .monitor = 2};
    EXPECT_EQ(Parsed({L"--monitor", L"2"}).placement, second);
    EXPECT_EQ(Parsed({L"--monitor=2"}).placement, second);
    EXPECT_EQ(Parsed({L"--monitor", L"primary"}).placement.monitor, 1u);

    const WindowPlacement sized{.mode = WindowMode::Windowed, .clientWidth = 800, .clientHeight = 450};
    EXPECT_EQ(Parsed({L"--windowed", L"800x450"}).placement, sized);
    EXPECT_EQ(Parsed({L"--windowed=800X450", L"--loop"}).placement, sized);
    // The size may be left out, also before another option.
    const ViewerOptions windowedLoop = Parsed({L"--windowed", L"--loop"});
    EXPECT_EQ(windowedLoop.placement, WindowPlacement{.mode = WindowMode::Windowed});
    EXPECT_TRUE(windowedLoop.loop);

    // The author's mode opens in a window unless placed, with its folder or without.
    const ViewerOptions author = Parsed({L"--author"});
    EXPECT_TRUE(author.author);
    EXPECT_TRUE(author.authorFolder.empty());
    EXPECT_EQ(author.placement, WindowPlacement{.mode = WindowMode::Windowed});
    EXPECT_EQ(Parsed({L"--author", L"C:\\my shaders", L"--loop"}).authorFolder, L"C:\\my shaders");
    EXPECT_EQ(Parsed({L"--author=work", L"--monitor", L"2"}).placement, second);
    EXPECT_EQ(Parsed({L"--windowed", L"800x450", L"--author"}).placement, sized);
    EXPECT_FALSE(Parsed({L"--windowed"}).author);

    // Help is answered whatever else is wrong.
    EXPECT_TRUE(Parsed({L"--bogus", L"/?"}).help);
    EXPECT_TRUE(Parsed({L"-h"}).help);
}

TEST(ViewerOptions, RefusesWhatItCannotTakeSayingWhyAndLeavesTheOptionsAlone)
{
    const std::vector<std::vector<std::wstring>> refused{
        {L"--fullscreen"},
        {L"loop"},
        {L"--loop=yes"},
        {L"--loop", L"--loop"},
        {L"--author", L"--author"},
        {L"--author="},
        {L"--monitor"},
        {L"--monitor", L"0"},
        {L"--monitor", L"65"},
        {L"--monitor", L"-1"},
        {L"--monitor", L"2.5"},
        {L"--monitor", L"\xFF12"},  // a full-width digit is not a number here
        {L"--monitor", L"99999999999999999999"},
        {L"--monitor=1", L"--windowed"},
        {L"--windowed", L"800"},
        {L"--windowed", L"0x450"},
        {L"--windowed", L"16385x100"},
        {L"--windowed", L"800x450x2"},
        {L"--windowed", L"x"},
        {L"--windowed="},
    };
    for (const std::vector<std::wstring>& arguments : refused) {
        ViewerOptions options;
        options.loop = true;  // a marker that must survive
        const std::optional<std::string> problem = Parse(arguments, options);
        ASSERT_TRUE(problem) << arguments.size();
        EXPECT_FALSE(problem->empty());
        EXPECT_TRUE(options.loop);
        EXPECT_EQ(options.placement, WindowPlacement{});
    }

    // The argument is named as given: UTF-8 of its UTF-16, an unpaired surrogate shown as U+FFFD.
    ViewerOptions options;
    EXPECT_EQ(Parse({L"--\x00E9t\xD800"}, options), "unknown option '--\xC3\xA9t\xEF\xBF\xBD'");
    EXPECT_EQ(Parse({L"--monitor", L"\xD83D\xDE00"}, options),
              "--monitor takes a monitor's number from 1 (the primary) to 64, or primary, not '\xF0\x9F\x98\x80'");
}

}  // namespace
