#include "audio/audio_library.h"
#include "audio/bass.h"
#include "audio/bass_calls.h"
#include "tests/audio/audio_files.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr QWORD kNoPosition = ~QWORD{0};

// The library's state is process-wide: its first calls happen once, before any test.
class BassStartUp : public ::testing::Environment {
public:
    static inline DWORD streamBeforeInit = 1;
    static inline BOOL firstInit = FALSE;
    static inline BOOL secondInit = TRUE;

    void SetUp() override
    {
        const std::wstring path = WriteToneWav(L"before-init.wav", 44100, 2, 0.1);
        streamBeforeInit = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_UNICODE);
        // As the program calls it: default device, the foreground window.
        firstInit = BASS_Init(-1, 44100, 0, GetForegroundWindow(), nullptr);
        secondInit = BASS_Init(-1, 44100, 0, nullptr, nullptr);
    }
};
const auto* const kStartUp = ::testing::AddGlobalTestEnvironment(new BassStartUp);

DWORD OpenUnicode(const std::wstring& path)
{
    return BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_UNICODE);
}

double PositionSeconds(DWORD handle)
{
    return BASS_ChannelBytes2Seconds(handle, BASS_ChannelGetPosition(handle, BASS_POS_BYTE));
}

TEST(BassExports, AreFoundByTheirUndecoratedNames)
{
    const HMODULE library = GetModuleHandleW(L"bass.dll");
    ASSERT_NE(library, nullptr);
    for (const char* name :
         {"BASS_Init", "BASS_Free", "BASS_StreamCreateFile", "BASS_ChannelStart", "BASS_ChannelGetPosition",
          "BASS_ChannelGetLength", "BASS_ChannelBytes2Seconds", "BASS_ChannelSeconds2Bytes", "BASS_ChannelPlay",
          "BASS_ChannelPause", "BASS_ChannelSetPosition", "BASS_ChannelIsActive"}) {
        EXPECT_NE(GetProcAddress(library, name), nullptr) << name;
    }
}

TEST(BassExports, InitialisesOnceAndNeedsInitialisingFirst)
{
    EXPECT_EQ(BassStartUp::streamBeforeInit, 0u);
    EXPECT_TRUE(BassStartUp::firstInit);
    EXPECT_FALSE(BassStartUp::secondInit);
    EXPECT_NE(OpenUnicode(WriteToneWav(L"after-init.wav", 44100, 2, 0.1)), 0u);  // the first init still holds
}

TEST(BassExports, FailsOnFilesAndRequestsItCannotPlay)
{
    const std::wstring wav = WriteToneWav(L"requests.wav", 44100, 2, 0.1);
    const std::wstring empty = AudioFilePath(L"empty.mp3");
    ASSERT_TRUE(WriteFileBytes(empty, {}));
    const std::string text = "Not music at all.\n";
    const std::wstring textFile = AudioFilePath(L"readme.mp3");
    ASSERT_TRUE(WriteFileBytes(textFile, {text.begin(), text.end()}));

    EXPECT_EQ(OpenUnicode(AudioFilePath(L"missing.mp3")), 0u);
    EXPECT_EQ(OpenUnicode(empty), 0u);
    EXPECT_EQ(OpenUnicode(textFile), 0u);

    // The music's header and encoder tag intact, its frames zeroed: the length
    // can be read, but nothing decodes.
    std::ifstream musicFile("music.mp3", std::ios::binary);
    std::vector<std::uint8_t> music{std::istreambuf_iterator<char>(musicFile), {}};
    const std::string tag = "Info";
    const auto tagAt = std::search(music.begin(), music.end(), tag.begin(), tag.end());
    ASSERT_NE(tagAt, music.end());
    const std::uint8_t sync[] = {0xFF, 0xFB};
    const auto firstFrame = std::search(tagAt, music.end(), std::begin(sync), std::end(sync));
    std::fill(firstFrame, music.end(), std::uint8_t{0});
    const std::wstring noFrames = AudioFilePath(L"no-frames.mp3");
    ASSERT_TRUE(WriteFileBytes(noFrames, music));
    EXPECT_EQ(OpenUnicode(noFrames), 0u);
    EXPECT_EQ(BASS_StreamCreateFile(FALSE, nullptr, 0, 0, BASS_UNICODE), 0u);
    EXPECT_EQ(BASS_StreamCreateFile(TRUE, wav.c_str(), 0, 0, BASS_UNICODE), 0u);
    EXPECT_EQ(BASS_StreamCreateFile(FALSE, wav.c_str(), 44, 0, BASS_UNICODE), 0u);
    EXPECT_EQ(BASS_StreamCreateFile(FALSE, wav.c_str(), 0, 1000, BASS_UNICODE), 0u);
}

TEST(BassExports, UnknownHandlesAndModesGiveTheFailureValues)
{
    for (const DWORD handle : {DWORD{0}, DWORD{0xDEADBEEF}}) {
        EXPECT_FALSE(BASS_ChannelStart(handle));
        EXPECT_EQ(BASS_ChannelGetPosition(handle, BASS_POS_BYTE), kNoPosition);
        EXPECT_EQ(BASS_ChannelGetLength(handle, BASS_POS_BYTE), kNoPosition);
        EXPECT_EQ(BASS_ChannelBytes2Seconds(handle, 0), -1.0);
        EXPECT_EQ(BASS_ChannelSeconds2Bytes(handle, 1.0), kNoPosition);
        EXPECT_FALSE(BASS_ChannelPlay(handle, FALSE));
        EXPECT_FALSE(BASS_ChannelPause(handle));
        EXPECT_FALSE(BASS_ChannelSetPosition(handle, 0, BASS_POS_BYTE));
        EXPECT_EQ(BASS_ChannelIsActive(handle), DWORD{BASS_ACTIVE_STOPPED});
        // What the program draws when its music failed to open.
        EXPECT_EQ(PositionSeconds(handle), -1.0);
    }
    const DWORD stream = OpenUnicode(WriteToneWav(L"modes.wav", 44100, 2, 0.1));
    ASSERT_NE(stream, 0u);
    EXPECT_EQ(BASS_ChannelGetPosition(stream, 1), kNoPosition);
    EXPECT_EQ(BASS_ChannelGetLength(stream, 1), kNoPosition);
    EXPECT_FALSE(BASS_ChannelSetPosition(stream, 0, 1));
}

// Each call gives its failure value when its work throws (memory or a thread
// that cannot be had): here the library's device probe and its clock throw,
// the clock on this thread only, as the stream's own threads read it too.
TEST(BassExports, AThrowingCallGivesItsFailureValue)
{
    const DWORD caller = GetCurrentThreadId();
    AudioLibrary library([]() -> bool { throw std::bad_alloc(); }, OpenDefaultOutputDevice,
                         [caller]() -> std::uint64_t {
                             if (GetCurrentThreadId() == caller) {
                                 throw std::bad_alloc();
                             }
                             return SystemMicroseconds();
                         });
    EXPECT_EQ(InitOn(library, 1), FALSE);
    ASSERT_EQ(InitOn(library, 0), TRUE);
    const std::wstring path = WriteToneWav(L"throwing.wav", 44100, 2, 0.1);
    const DWORD stream = StreamCreateFileOn(library, FALSE, path.c_str(), 0, 0, BASS_UNICODE);
    ASSERT_NE(stream, 0u);
    EXPECT_EQ(ChannelStartOn(library, stream), FALSE);
    EXPECT_EQ(ChannelPlayOn(library, stream, FALSE), FALSE);
    EXPECT_EQ(ChannelSetPositionOn(library, stream, 4, BASS_POS_BYTE), FALSE);
    EXPECT_EQ(ChannelGetPositionOn(library, stream, BASS_POS_BYTE), kNoPosition);
}

TEST(BassExports, MeasuresAndConvertsBytesWithTheStreamsOwnFormat)
{
    const DWORD stereo = OpenUnicode(WriteToneWav(L"stereo.wav", 44100, 2, 0.1));
    const DWORD mono = OpenUnicode(WriteToneWav(L"mono.wav", 22050, 1, 0.1));
    ASSERT_NE(stereo, 0u);
    ASSERT_NE(mono, 0u);
    // The length is known without playing: 0.1 s of each format.
    EXPECT_EQ(BASS_ChannelGetLength(stereo, BASS_POS_BYTE), 17640u);
    EXPECT_EQ(BASS_ChannelGetLength(mono, BASS_POS_BYTE), 4410u);
    EXPECT_EQ(BASS_ChannelBytes2Seconds(stereo, 529200), 3.0);
    EXPECT_EQ(BASS_ChannelBytes2Seconds(stereo, 1764), 0.01);
    EXPECT_EQ(BASS_ChannelBytes2Seconds(mono, 44100), 1.0);
    EXPECT_EQ(BASS_ChannelBytes2Seconds(mono, 0), 0.0);
    EXPECT_EQ(BASS_ChannelGetPosition(mono, BASS_POS_BYTE), 0u);  // not started

    // The music's length comes from its header, exact to the byte, before any decoding.
    const DWORD music = OpenUnicode(L"music.mp3");
    ASSERT_NE(music, 0u);
    EXPECT_EQ(BASS_ChannelGetLength(music, BASS_POS_BYTE), 64u * 176400);
    EXPECT_EQ(BASS_ChannelBytes2Seconds(music, BASS_ChannelGetLength(music, BASS_POS_BYTE)), 64.0);
    // Each of its frames' times converts back to that frame.
    QWORD missed = 0;
    for (QWORD bytes = 0; bytes <= 64u * 176400; bytes += 4) {
        missed += BASS_ChannelSeconds2Bytes(music, BASS_ChannelBytes2Seconds(music, bytes)) != bytes ? 1 : 0;
    }
    EXPECT_EQ(missed, 0u);
}

TEST(BassExports, OpensNonAsciiAndAnsiPaths)
{
    const std::wstring unicodeName = AudioFilePath(L"Z\u00fcrich \u97f3\u697d \u00e9t\u00e9.wav");
    ASSERT_TRUE(WriteFileBytes(unicodeName, MakeWav(44100, 2, 4410)));
    EXPECT_NE(OpenUnicode(unicodeName), 0u);

    WriteToneWav(L"ansi.wav", 44100, 2, 0.1);
    EXPECT_NE(BASS_StreamCreateFile(FALSE, "audio-files\\ansi.wav", 0, 0, 0), 0u);
}

TEST(BassExports, PositionFollowsPlaybackAndStopsAtTheEnd)
{
    const DWORD stream = OpenUnicode(WriteToneWav(L"play.wav", 44100, 2, 1.0));
    ASSERT_NE(stream, 0u);
    ASSERT_TRUE(BASS_ChannelStart(stream));

    // Readers on two threads at once, as a program with a helper thread might.
    std::atomic<bool> done{false};
    std::atomic<bool> backwards{false};
    std::thread reader([&] {
        QWORD previous = 0;
        while (!done) {
            const QWORD now = BASS_ChannelGetPosition(stream, BASS_POS_BYTE);
            backwards = backwards || now < previous || now == kNoPosition;
            previous = now;
        }
    });

    // It moves on, and stops exactly at the end.
    const auto deadline = Clock::now() + 10s;
    while (BASS_ChannelGetPosition(stream, BASS_POS_BYTE) == 0 && Clock::now() < deadline) {
        std::this_thread::sleep_for(2ms);
    }
    const double s0 = PositionSeconds(stream);
    EXPECT_GT(s0, 0.0);
    while (PositionSeconds(stream) == s0 && Clock::now() < deadline) {
        std::this_thread::sleep_for(2ms);
    }
    EXPECT_GT(PositionSeconds(stream), s0);
    while (PositionSeconds(stream) < 1.0 && Clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(BASS_ChannelGetPosition(stream, BASS_POS_BYTE), 176400u);
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(PositionSeconds(stream), 1.0);

    done = true;
    reader.join();
    EXPECT_FALSE(backwards);
}

// Waits until the position has moved past `from`; false when it never does.
bool MovesOnFrom(DWORD stream, QWORD from)
{
    const auto deadline = Clock::now() + 10s;
    while (Clock::now() < deadline) {
        const QWORD now = BASS_ChannelGetPosition(stream, BASS_POS_BYTE);
        if (now < from) {
            return false;
        }
        if (now > from) {
            return true;
        }
        std::this_thread::sleep_for(2ms);
    }
    return false;
}

// Through the default device (and again through the sound server): a seek
// reads the new place at once and goes on from there, never before it;
// paused, the position stands exactly still, also when sent elsewhere; played
// again it goes on; restarted, it plays from the start; at its end it is stopped.
TEST(BassExports, SeeksPausesAndResumesThroughTheDevice)
{
    const DWORD stream = OpenUnicode(WriteToneWav(L"seek.wav", 44100, 2, 3.0));
    ASSERT_NE(stream, 0u);
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(stream, 1.00001), 176400u);
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(stream, -0.5), kNoPosition);
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(stream, std::nan("")), kNoPosition);
    // Of the widest format read (1 MHz, 32 channels), 1e11 s fit a QWORD, 1e12 s no longer.
    const DWORD wide = OpenUnicode(WriteToneWav(L"wide.wav", 1'000'000, 32, 0.001));
    ASSERT_NE(wide, 0u);
    EXPECT_GE(BASS_ChannelSeconds2Bytes(wide, 1e11), 6'400'000'000'000'000'000u);
    EXPECT_NE(BASS_ChannelSeconds2Bytes(wide, 1e11), kNoPosition);
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(wide, 1e12), kNoPosition);
    EXPECT_FALSE(BASS_ChannelPause(stream));  // not playing yet
    EXPECT_EQ(BASS_ChannelIsActive(stream), DWORD{BASS_ACTIVE_STOPPED});
    ASSERT_TRUE(BASS_ChannelPlay(stream, FALSE));
    ASSERT_TRUE(MovesOnFrom(stream, 0));
    EXPECT_EQ(BASS_ChannelIsActive(stream), DWORD{BASS_ACTIVE_PLAYING});

    EXPECT_FALSE(BASS_ChannelSetPosition(stream, 3 * 176400, BASS_POS_BYTE));  // the end
    // Playing, the device may move on from the new place between the two
    // calls on a busy machine: the place, or a few frames past it (the exact
    // place is the stand-in device's test).
    const auto soughtTo = [stream](QWORD target) {
        const QWORD now = BASS_ChannelGetPosition(stream, BASS_POS_BYTE);
        return now >= target && now < target + 17640 && now % 4 == 0;
    };
    ASSERT_TRUE(BASS_ChannelSetPosition(stream, 2 * 176400 + 3, BASS_POS_BYTE));
    EXPECT_TRUE(soughtTo(2 * 176400));
    EXPECT_TRUE(MovesOnFrom(stream, 2 * 176400));
    ASSERT_TRUE(BASS_ChannelSetPosition(stream, 44100, BASS_POS_BYTE));
    EXPECT_TRUE(soughtTo(44100));
    EXPECT_EQ(BASS_ChannelIsActive(stream), DWORD{BASS_ACTIVE_PLAYING});  // back into music decoded
    EXPECT_TRUE(MovesOnFrom(stream, 44100));

    ASSERT_TRUE(BASS_ChannelPause(stream));
    EXPECT_FALSE(BASS_ChannelPause(stream));
    EXPECT_EQ(BASS_ChannelIsActive(stream), DWORD{BASS_ACTIVE_PAUSED});
    const QWORD standing = BASS_ChannelGetPosition(stream, BASS_POS_BYTE);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(BASS_ChannelGetPosition(stream, BASS_POS_BYTE), standing);
    ASSERT_TRUE(BASS_ChannelSetPosition(stream, 176400, BASS_POS_BYTE));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(BASS_ChannelGetPosition(stream, BASS_POS_BYTE), 176400u);
    EXPECT_EQ(BASS_ChannelIsActive(stream), DWORD{BASS_ACTIVE_PAUSED});
    ASSERT_TRUE(BASS_ChannelPlay(stream, FALSE));
    EXPECT_TRUE(MovesOnFrom(stream, 176400));
    EXPECT_EQ(BASS_ChannelIsActive(stream), DWORD{BASS_ACTIVE_PLAYING});
    // BASS_ChannelStart resumes as well, also at once, before the device was stopped.
    ASSERT_TRUE(BASS_ChannelPause(stream));
    const QWORD paused = BASS_ChannelGetPosition(stream, BASS_POS_BYTE);
    ASSERT_TRUE(BASS_ChannelStart(stream));
    EXPECT_TRUE(MovesOnFrom(stream, paused));
    EXPECT_EQ(BASS_ChannelIsActive(stream), DWORD{BASS_ACTIVE_PLAYING});

    ASSERT_TRUE(BASS_ChannelPlay(stream, TRUE));
    EXPECT_LT(BASS_ChannelGetPosition(stream, BASS_POS_BYTE), 176400u);
    const auto deadline = Clock::now() + 10s;
    while (BASS_ChannelIsActive(stream) != BASS_ACTIVE_STOPPED && Clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(BASS_ChannelGetPosition(stream, BASS_POS_BYTE), 3u * 176400);

    // Sent back from its end it stays stopped there, as the vendor's does,
    // until played again, on a device opened again.
    ASSERT_TRUE(BASS_ChannelSetPosition(stream, 176400, BASS_POS_BYTE));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(BASS_ChannelGetPosition(stream, BASS_POS_BYTE), 176400u);
    EXPECT_EQ(BASS_ChannelIsActive(stream), DWORD{BASS_ACTIVE_STOPPED});
    EXPECT_FALSE(BASS_ChannelPause(stream));
    ASSERT_TRUE(BASS_ChannelPlay(stream, FALSE));
    EXPECT_TRUE(MovesOnFrom(stream, 176400));
    EXPECT_EQ(BASS_ChannelIsActive(stream), DWORD{BASS_ACTIVE_PLAYING});
}

// Runs the exit probe (the copy in `folder`, with the DLLs beside it) on
// `device` and returns its exit code, or a note of why there is none.
std::string RunExitProbe(const std::wstring& device, const std::wstring& mode = L"", const std::wstring& folder = L"")
{
    std::wstring command = folder + L"audio_exit_probe.exe " + device + L" audio-files\\exit.wav " + mode;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return "not started";
    }
    const DWORD waited = WaitForSingleObject(process.hProcess, 20000);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    if (waited != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return waited == WAIT_OBJECT_0 ? std::to_string(exitCode) : "still running";
}

// A program that never frees its stream and simply returns while the music
// plays: the library has ended by the time the runtime's earlier exit calls
// run (the probe checks), and the exit code arrives intact; so too through
// the UCRT's exit, whose table is the one that runs then. One that ends the
// library first, as the programs do, too. The exit does not hang when a
// stream's thread is inside a DLL's start-up that waits for the runtime's
// exit lock, which the exit holds.
TEST(BassExports, ProcessExitWhilePlayingKeepsTheExitCode)
{
    WriteToneWav(L"exit.wav", 44100, 2, 5.0);
    EXPECT_EQ(RunExitProbe(L"-1"), "42");
    EXPECT_EQ(RunExitProbe(L"-1", L"ucrt"), "42");
    EXPECT_EQ(RunExitProbe(L"-1", L"free"), "42");
    EXPECT_EQ(RunExitProbe(L"0"), "42");  // no sound asked for
    const auto begin = Clock::now();
    EXPECT_EQ(RunExitProbe(L"-1", L"held", L"held-start-up\\"), "42");
    std::printf("the probe with a thread held inside a DLL's start-up at its exit ran %.1f s\n",
                std::chrono::duration<double>(Clock::now() - begin).count());
}

// Through the exported calls as the programs make them: BASS_Free stops every
// stream, whose handles then fail, and the library answers as before BASS_Init
// until it is started again.
TEST(BassExports, FreeEndsEveryStreamUntilInitAgain)
{
    const DWORD playing = OpenUnicode(WriteToneWav(L"free-playing.wav", 44100, 2, 5.0));
    ASSERT_NE(playing, 0u);
    ASSERT_TRUE(BASS_ChannelStart(playing));
    const auto deadline = Clock::now() + 10s;
    while (BASS_ChannelGetPosition(playing, BASS_POS_BYTE) == 0 && Clock::now() < deadline) {
        std::this_thread::sleep_for(2ms);
    }
    EXPECT_TRUE(BASS_Free());
    EXPECT_EQ(BASS_ChannelGetPosition(playing, BASS_POS_BYTE), kNoPosition);
    EXPECT_EQ(BASS_ChannelGetLength(playing, BASS_POS_BYTE), kNoPosition);
    EXPECT_EQ(BASS_ChannelBytes2Seconds(playing, 0), -1.0);
    EXPECT_FALSE(BASS_ChannelStart(playing));
    EXPECT_FALSE(BASS_Free());
    EXPECT_EQ(OpenUnicode(L"music.mp3"), 0u);

    // Started again, as the other tests need it.
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    const DWORD again = OpenUnicode(L"music.mp3");
    EXPECT_NE(again, 0u);
    EXPECT_NE(again, playing);
}

}  // namespace
