// Decoding ahead, through Playback: a decode that fails, a seek back into
// what is kept and one that opens the source again, and the memory a long
// file holds.
#include "audio/audio_file_probe.h"
#include "audio/file_sources.h"
#include "audio/looping_source.h"
#include "audio/playback.h"
#include "audio/readable_file.h"
#include "tests/audio/audio_files.h"
#include "tests/audio/playback_fakes.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <psapi.h>
#include <algorithm>
#include <atomic>
#include <mutex>

namespace {

// A decoding error, or an exception on the decoding thread (memory that
// cannot be had), ends the stream at the last good sample: the device hears
// the good samples and nothing after them, then is let go.
TEST(Playback, EndsCleanlyAtTheLastGoodSampleOfAFailingDecode)
{
    const auto tone = Tone(44100, 2, 0.8);
    const std::uint64_t failAt = tone->bytes.size() / 2 + 3;  // inside a frame
    const std::uint64_t lastGood = failAt - failAt % 4;
    for (const Failure failure : {Failure::Error, Failure::Throw}) {
        for (const AudioOutput output : {AudioOutput::Silent, AudioOutput::DefaultDevice}) {
            TestClock clock;
            auto log = std::make_shared<DeviceLog>();
            Playback playback(OpenTone(tone, failAt, failure), InfoOf(*tone), output, FakeDevices(log, clock),
                              clock.Reader());
            playback.Start();
            const std::uint64_t took = FollowToTheEnd(playback, clock, *log);
            EXPECT_GE(took, 400 * kMs);
            EXPECT_LE(took, 450 * kMs);
            ExpectStaysAt(playback, clock, lastGood, *log);
            EXPECT_EQ(playback.LengthBytes(), tone->bytes.size());  // as the file states it

            std::lock_guard lock(log->mutex);
            if (output == AudioOutput::DefaultDevice) {
                ASSERT_EQ(log->received.size(), 1u);
                EXPECT_TRUE(std::equal(log->received[0].begin(), log->received[0].end(), tone->bytes.begin()));
                EXPECT_EQ(log->received[0].size(), lastGood);
            }
        }
    }
}

// A seek back into what is kept of what was heard plays at once, from there:
// the source is not opened again and the stream is not stalled. One further
// back than is kept: while the source is opened again the position stands at
// the new place, stalled, however the time moves; then it goes on from there.
// One whose source then cannot be opened again ends there; sent back once
// more and played, the source is tried again, and it plays.
TEST(Playback, ASeekBackPlaysWhatIsKeptOrStallsWhileTheSourceOpensAgain)
{
    const auto piece = Numbered(44100, 2.0);
    for (const bool withDevice : {true, false}) {
        TestClock clock;
        auto log = std::make_shared<DeviceLog>();
        auto shut = std::make_shared<std::atomic<bool>>(false);
        auto waiting = std::make_shared<std::atomic<bool>>(false);
        auto opened = std::make_shared<std::atomic<int>>(0);
        auto locked = std::make_shared<std::atomic<bool>>(false);
        const SourceOpener openPiece = OpenTone(piece);
        Playback playback(
            [=] {
                ++*opened;
                if (*shut) {
                    *waiting = true;
                    WaitFor([&] { return !*shut; });
                }
                return locked->exchange(false) ? OpenedSource{} : openPiece();
            },
            InfoOf(*piece), withDevice ? AudioOutput::DefaultDevice : AudioOutput::Silent, FakeDevices(log, clock),
            clock.Reader(), BytesAt(piece->format, 500 * kMs));
        playback.Start();
        ASSERT_TRUE(WaitFor([&] { return playback.ClockInUse() != PositionClock::None; }));
        for (int i = 0; i < 30; ++i) {
            ASSERT_TRUE(Step(playback, clock, *log, 50 * kMs)) << withDevice;
        }
        const std::uint64_t kept = playback.PlayedBytes() - BytesAt(piece->format, 300 * kMs);
        playback.Seek(kept);
        EXPECT_EQ(playback.Status(), Playback::Activity::Playing) << withDevice;
        EXPECT_TRUE(!withDevice || WaitFor([&] { return FedFrom(*log, *piece, kept, 1); })) << withDevice;
        for (int i = 0; i < 5; ++i) {
            ASSERT_TRUE(Step(playback, clock, *log, 50 * kMs)) << withDevice;
        }
        EXPECT_GT(playback.PlayedBytes(), kept + BytesAt(piece->format, 200 * kMs)) << withDevice;
        EXPECT_EQ(*opened, 1) << withDevice;

        const std::uint64_t back = BytesAt(piece->format, 250 * kMs);
        // Once what was heard is let go, the new place is before what is held.
        ASSERT_TRUE(WaitFor([&] { return playback.Decoded().bytes - playback.HeldBytes() > back; }));
        *shut = true;
        playback.Seek(back + 3);
        ASSERT_TRUE(WaitFor([&] { return waiting->load(); }));
        clock.Advance(200 * kMs);
        EXPECT_EQ(playback.PlayedBytes(), back) << withDevice;
        EXPECT_EQ(playback.Status(), Playback::Activity::Stalled) << withDevice;

        *shut = false;
        EXPECT_TRUE(!withDevice || WaitFor([&] { return FedFrom(*log, *piece, back, 2); }));
        for (int i = 0; i < 5; ++i) {
            ASSERT_TRUE(Step(playback, clock, *log, 50 * kMs)) << withDevice;
            EXPECT_GE(playback.PlayedBytes(), back) << withDevice;
        }
        EXPECT_GT(playback.PlayedBytes(), back + BytesAt(piece->format, 100 * kMs)) << withDevice;
        EXPECT_EQ(playback.Status(), Playback::Activity::Playing) << withDevice;

        for (int i = 0; i < 10; ++i) {
            ASSERT_TRUE(Step(playback, clock, *log, 50 * kMs)) << withDevice;
        }
        const std::uint64_t gone = BytesAt(piece->format, 300 * kMs);
        ASSERT_TRUE(WaitFor([&] { return playback.Decoded().bytes - playback.HeldBytes() > gone; }));
        *locked = true;
        playback.Seek(gone);
        ASSERT_TRUE(WaitFor([&] { return playback.Finished(); })) << withDevice;
        EXPECT_EQ(playback.PlayedBytes(), gone) << withDevice;
        const int openedBefore = *opened;
        const std::uint64_t earlier = BytesAt(piece->format, 100 * kMs);
        playback.Seek(earlier);
        playback.Resume();
        for (int i = 0; i < 5; ++i) {
            ASSERT_TRUE(Step(playback, clock, *log, 50 * kMs)) << withDevice;
        }
        EXPECT_GT(playback.PlayedBytes(), earlier + BytesAt(piece->format, 200 * kMs)) << withDevice;
        EXPECT_EQ(playback.Status(), Playback::Activity::Playing) << withDevice;
        EXPECT_EQ(*opened, openedBefore + 1) << withDevice;
        EXPECT_FALSE(playback.Finished()) << withDevice;
    }
}

// The process's working set: Wine answers 0 for its private bytes.
std::uint64_t WorkingSet()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return counters.WorkingSetSize;
}

// A looping file, played on for several passes past the 71 s that fill the
// default bound, holds no more than that bound of what was heard and a few
// seconds ahead, in the library's count and in the process's working set
// (which keeping all it heard, 39 MB by the end, would pass).
TEST(Playback, HoldsOnlyWhatIsKeptAndAFewSecondsOfALoopingFile)
{
    const std::wstring path = WriteToneWav(L"long.wav", 44100, 2, 30.0);
    const std::wstring fullPath = ResolveReadableFile(path);
    const FileLayout layout = ProbeAudioFile(fullPath).value();
    const std::uint64_t before = WorkingSet();
    TestClock clock;
    Playback playback(LoopingOpener([=] { return OpenFileSource(fullPath, layout); }, layout.info.lengthBytes),
                      {.format = layout.info.format, .lengthBytes = kLoopingStreamBytes}, AudioOutput::Silent, nullptr,
                      clock.Reader());
    playback.Start();
    const std::uint64_t bound = kKeptBehindBytes + 5 * 176400;
    std::size_t most = 0;
    for (int i = 0; i < 110; ++i) {
        ASSERT_TRUE(WaitFor([&] { return playback.Decoded().bytes >= playback.PlayedBytes() + 3 * 176400; }));
        clock.Advance(2 * kSecond);
        most = std::max(most, playback.HeldBytes());
    }
    EXPECT_EQ(playback.PlayedBytes(), 220u * 176400);
    EXPECT_LE(most, bound);
    EXPECT_GE(playback.HeldBytes(), kKeptBehindBytes);  // it does keep what was heard
    const std::uint64_t after = WorkingSet();
    EXPECT_LT(after - std::min(before, after), bound + (8u << 20)) << before << " to " << after;
}

}  // namespace
