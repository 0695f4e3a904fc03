#include "demo/author_clipboard.h"
#include "demo/author_mode.h"
#include "demo/shader_sources.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <future>
#include <string>
#include <thread>
#include <vector>

namespace {

// The keys from Windows' own header, so that the code's copies of their
// values are checked against it.
constexpr std::uint8_t kSpace = VK_SPACE;
constexpr std::uint8_t kLeft = VK_LEFT;
constexpr std::uint8_t kRight = VK_RIGHT;
constexpr std::uint8_t kHome = VK_HOME;
constexpr std::uint8_t kBackspace = VK_BACK;
constexpr std::uint8_t kShift = VK_SHIFT;
constexpr std::uint8_t kEscape = VK_ESCAPE;

// Seeks stay within the music, Shift takes the far step, Home goes to 0, and
// Space pauses and resumes; keys of the viewer's do nothing new.
TEST(AuthorMode, KeysMoveTheMusicWithinItsLength)
{
    const auto seek = [](std::uint8_t code, bool shift, double now) {
        AuthorState state;
        return ApplyAuthorKey(AuthorKeyOfVirtualKey(code, shift).value(), now, 64.0, state).seekTo;
    };
    EXPECT_EQ(seek(kRight, false, 2.0), 3.0);
    EXPECT_EQ(seek(kRight, true, 2.0), 12.0);
    EXPECT_EQ(seek(kLeft, false, 2.5), 1.5);
    EXPECT_EQ(seek(kLeft, true, 2.5), 0.0);  // not before the start
    EXPECT_EQ(seek(kLeft, false, 0.25), 0.0);
    EXPECT_EQ(seek(kRight, true, 60.0), 64.0);  // not past the end
    EXPECT_EQ(seek(kHome, false, 33.0), 0.0);
    EXPECT_FALSE(AuthorKeyOfVirtualKey(kEscape, false).has_value());  // Escape stays the viewer's
    EXPECT_FALSE(AuthorKeyOfVirtualKey('A', false).has_value());
    EXPECT_FALSE(AuthorKeyOfCharacter(' ').has_value());

    // Shift as it was when the key went down, not when the frame reads the queue.
    const auto press = [](std::uint8_t code) { return KeyEvent{KeyEventKind::Press, code}; };
    const auto release = [](std::uint8_t code) { return KeyEvent{KeyEventKind::Release, code}; };
    using Keys = std::vector<AuthorKey>;
    EXPECT_EQ(
        AuthorKeysOfEvents({press(kShift), press(kRight), release(kRight), release(kShift), press(kRight)}, false),
        (Keys{AuthorKey::FarForward, AuthorKey::Forward}));
    EXPECT_EQ(AuthorKeysOfEvents({press(kLeft), release(kLeft)}, true), Keys{AuthorKey::FarBack});
    EXPECT_EQ(AuthorKeysOfEvents({press(kLeft), release(kShift), press(kLeft)}, false),
              (Keys{AuthorKey::FarBack, AuthorKey::Back}));
    EXPECT_EQ(AuthorKeysOfEvents({press(kEscape), release(kRight), press(kSpace)}, false),
              Keys{AuthorKey::PauseOrResume});

    AuthorState state;
    AuthorAction action = ApplyAuthorKey(AuthorKey::PauseOrResume, 5.0, 64.0, state);
    EXPECT_EQ(action.pause, true);
    EXPECT_TRUE(state.paused);
    // A seek while paused stays paused: it only moves.
    action = ApplyAuthorKey(AuthorKey::Forward, 5.0, 64.0, state);
    EXPECT_FALSE(action.pause.has_value());
    EXPECT_TRUE(state.paused);
    action = ApplyAuthorKey(*AuthorKeyOfVirtualKey(kSpace, false), 6.0, 64.0, state);
    EXPECT_EQ(action.pause, false);
    EXPECT_FALSE(state.paused);
}

// [ and ] mark a passage that repeats from its end to its start until
// Backspace clears it; marks in the wrong order never make a passage that
// ends before it starts.
TEST(AuthorMode, APassageRepeatsBetweenItsMarksUntilCleared)
{
    AuthorState state;
    ApplyAuthorKey(*AuthorKeyOfCharacter('['), 2.0, 64.0, state);
    EXPECT_FALSE(state.HasPassage());
    EXPECT_FALSE(PassageRepeat(30.0, state).has_value());
    ApplyAuthorKey(*AuthorKeyOfCharacter(']'), 4.5, 64.0, state);
    ASSERT_TRUE(state.HasPassage());
    EXPECT_FALSE(PassageRepeat(4.49, state).has_value());
    EXPECT_EQ(PassageRepeat(4.5, state), 2.0);
    EXPECT_EQ(PassageRepeat(9.0, state), 2.0);  // sought past its end: back to its start
    state.paused = true;
    EXPECT_FALSE(PassageRepeat(9.0, state).has_value());  // paused, time stands
    state.paused = false;

    // An end before the start is not taken; a start after the end drops the end.
    ApplyAuthorKey(AuthorKey::MarkEnd, 1.0, 64.0, state);
    EXPECT_EQ(state.passageEnd, 4.5);
    ApplyAuthorKey(AuthorKey::MarkStart, 5.0, 64.0, state);
    EXPECT_FALSE(state.HasPassage());
    EXPECT_FALSE(PassageRepeat(6.0, state).has_value());

    // Backspace clears both marks: a start marked later finds no old end.
    ApplyAuthorKey(AuthorKey::MarkEnd, 8.0, 64.0, state);
    ASSERT_TRUE(state.HasPassage());
    ApplyAuthorKey(*AuthorKeyOfVirtualKey(kBackspace, false), 6.0, 64.0, state);
    EXPECT_FALSE(state.passageStart.has_value());
    ApplyAuthorKey(AuthorKey::MarkStart, 1.0, 64.0, state);
    EXPECT_FALSE(PassageRepeat(9.0, state).has_value());
    ApplyAuthorKey(AuthorKey::ClearPassage, 1.0, 64.0, state);
    // An end alone marks a passage from the music's start.
    ApplyAuthorKey(AuthorKey::MarkEnd, 3.0, 64.0, state);
    EXPECT_EQ(PassageRepeat(3.0, state), 0.0);
}

// The title's time is the one C copies.
TEST(AuthorMode, TheTitleTellsTheTimeToTheMillisecondAndWhatIsSet)
{
    AuthorState state;
    EXPECT_EQ(AuthorTitle(3.0, state, 0, ""), "Vexlar-engine | author | 3.000 s");
    // A float's 3 s read back as 2.9999998 is still 3.000; 2.9996 is not yet.
    EXPECT_EQ(AuthorTitle(static_cast<double>(2.9999998f), state, 0, ""), "Vexlar-engine | author | 3.000 s");
    EXPECT_EQ(AuthorTitle(2.9996, state, 0, ""), "Vexlar-engine | author | 2.999 s");
    EXPECT_EQ(AuthorTitle(-1.0, state, 0, ""), "Vexlar-engine | author | 0.000 s");  // no music
    state.paused = true;
    state.passageStart = 1.25;
    state.passageEnd = 4.0;
    EXPECT_EQ(AuthorTitle(61.5, state, 5, "pyramid_pixel.hlsl(3,5): error X3000: syntax error"),
              "Vexlar-engine | author | 61.500 s | paused | passage 1.250-4.000 s | 5 tracks | "
              "pyramid_pixel.hlsl(3,5): error X3000: syntax error");
    EXPECT_EQ(AuthorTitle(12.3456, {}, 1, ""), "Vexlar-engine | author | 12.345 s | 1 track");

    for (const char key : {'c', 'C'}) {
        AuthorState unchanged;
        const AuthorAction action = ApplyAuthorKey(AuthorKeyOfCharacter(key).value(), 12.3456, 64.0, unchanged);
        EXPECT_TRUE(action.copyTime && !action.seekTo && !action.pause && !unchanged.paused);
    }
    EXPECT_EQ(AuthorSeconds(12.3456), "12.345");
}

// The clipboard gets the text as Unicode; held open by another program, it
// is given up on within a moment, and taken once free again.
TEST(AuthorClipboard, CopiesUnicodeTextAndNeverWaitsLong)
{
    const auto read = [] {
        std::wstring text;
        if (OpenClipboard(nullptr)) {
            if (const HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
                text = static_cast<const wchar_t*>(GlobalLock(data));
                GlobalUnlock(data);
            }
            CloseClipboard();
        }
        return text;
    };
    // Owned by a window, as the program's is: one that holds the clipboard
    // open is another than the one that asks.
    const HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    ASSERT_TRUE(CopyToClipboard(owner, "12.345"));
    EXPECT_EQ(read(), L"12.345");

    std::promise<void> opened;
    std::promise<void> release;
    std::thread holder([&] {
        const bool held = OpenClipboard(nullptr) != FALSE;
        opened.set_value();
        release.get_future().wait();
        if (held) {
            CloseClipboard();
        }
    });
    opened.get_future().wait();
    EXPECT_FALSE(CopyToClipboard(owner, "1.000"));
    release.set_value();
    holder.join();
    EXPECT_TRUE(CopyToClipboard(owner, "1.000"));
    EXPECT_EQ(read(), L"1.000");
    DestroyWindow(owner);
}

TEST(ShaderSources, FindsIncludesAndTheSourcesASaveMakesStale)
{
    EXPECT_EQ(IncludedNames("#include \"object_constants.hlsli\"\n"
                            "  #  include <Other.hlsli>\r\n"
                            "// #include \"commented.hlsli\"\n"
                            "#include \"\"\n"
                            "#include \"unclosed.hlsli\n"
                            "#define include \"not.hlsli\"\n"
                            "#include\"last.hlsli\""),
              (std::vector<std::string>{"object_constants.hlsli", "Other.hlsli", "last.hlsli"}));

    const std::vector<std::string> sources{"cube_vertex.hlsl", "cube_pixel.hlsl", "pyramid_vertex.hlsl"};
    const std::map<std::string, std::vector<std::string>> includes{
        {"cube_vertex.hlsl", {"object_constants.hlsli"}},
        {"pyramid_vertex.hlsl", {"Common.hlsli"}},
        {"common.hlsli", {"object_constants.hlsli"}},
        // A circle of includes must not hang the look.
        {"a.hlsli", {"b.hlsli"}},
        {"b.hlsli", {"a.hlsli"}},
        {"cube_pixel.hlsl", {"a.hlsli"}},
    };
    EXPECT_EQ(StaleSources({"cube_pixel.hlsl"}, includes, sources), (std::set<std::string>{"cube_pixel.hlsl"}));
    // Through an include of an include, in any case of the letters.
    EXPECT_EQ(StaleSources({"OBJECT_CONSTANTS.hlsli"}, includes, sources),
              (std::set<std::string>{"cube_vertex.hlsl", "pyramid_vertex.hlsl"}));
    EXPECT_EQ(StaleSources({"b.hlsli"}, includes, sources), (std::set<std::string>{"cube_pixel.hlsl"}));
    EXPECT_TRUE(StaleSources({"unused.hlsli", "notes.txt"}, includes, sources).empty());
}

TEST(ShaderSources, TheCompilersFirstMessageIsItsFirstLineThatSaysSomething)
{
    EXPECT_EQ(FirstMessageLine("\r\n  \npyramid_pixel.hlsl(12,5-9): error X3004: undeclared identifier 'c'  \r\n"
                               "pyramid_pixel.hlsl(13,1): warning X3206: second\n"),
              "pyramid_pixel.hlsl(12,5-9): error X3004: undeclared identifier 'c'");
    // A one-line message ends at the compiler's NUL; no control character
    // (the source's own text, quoted) reaches the title or a terminal.
    EXPECT_EQ(FirstMessageLine(std::string("only line\0", 10)), "only line");
    EXPECT_EQ(FirstMessageLine("a.hlsl(1,1): 'x\x1b[2J\ty\x7f\xc2\x9b[1m\xc2\xa0'"),
              "a.hlsl(1,1): 'x [2J y  [1m\xc2\xa0'");
    EXPECT_EQ(FirstMessageLine(""), "");
    for (char control = 1; control < 0x20; ++control) {
        if (control != '\n') {
            EXPECT_EQ(FirstMessageLine(std::string("a") + control + "b"), "a b") << int{control};
        }
    }
    EXPECT_EQ(FirstMessageLine("\n\n \t"), "");
}

}  // namespace
