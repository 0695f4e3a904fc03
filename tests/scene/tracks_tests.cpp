#include "scene/track_player.h"
#include "scene/tracks.h"
#include "scene/tracks_file.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <clocale>
#include <fstream>
#include <string>
#include <utility>

namespace {

Tracks MustRead(std::string_view text)
{
    TracksRead read = ReadTracks(text, "tracks.txt");
    EXPECT_EQ(read.error, "");
    return read.tracks.value_or(Tracks{});
}

std::string RefusalOf(std::string_view text)
{
    const TracksRead read = ReadTracks(text, "tracks.txt");
    EXPECT_FALSE(read.tracks) << text;
    return read.error;
}

TEST(ReadTracks, ReadsTheStatementsTracksInOrderWithTheirKeys)
{
    // A byte-order mark, CR LF and LF line ends, comments, blank lines, tabs,
    // signs, fractions and exponents.
    const Tracks tracks = MustRead("\xEF\xBB\xBF# choreography\r\n"
                                   "track camera.x   # the eye\r\n"
                                   "0      15      smooth\n"
                                   "8.5\t-4.25   linear\n"
                                   "\n"
                                   "   \t  # just a comment\n"
                                   "16     0\n"
                                   "track glow_2.b\n"
                                   "+1e1 +2.5E-1 ramp\n"
                                   "20 .5 step");
    ASSERT_EQ(tracks.Count(), 2u);
    EXPECT_EQ(tracks.tracks[0].name, "camera.x");
    EXPECT_EQ(tracks.tracks[1].name, "glow_2.b");
    const std::vector<TrackKey>& camera = tracks.tracks[0].keys;
    ASSERT_EQ(camera.size(), 3u);
    EXPECT_EQ((std::pair{camera[0].time, camera[0].value}), (std::pair{0.0, 15.0f}));
    EXPECT_EQ((std::pair{camera[1].time, camera[1].value}), (std::pair{8.5, -4.25f}));
    EXPECT_EQ((std::pair{camera[2].time, camera[2].value}), (std::pair{16.0, 0.0f}));
    EXPECT_EQ(camera[0].how, KeyHow::Smooth);
    EXPECT_EQ(camera[1].how, KeyHow::Linear);
    EXPECT_EQ(camera[2].how, KeyHow::Step);  // left out
    const std::vector<TrackKey>& glow = tracks.tracks[1].keys;
    ASSERT_EQ(glow.size(), 2u);
    EXPECT_EQ((std::pair{glow[0].time, glow[0].value}), (std::pair{10.0, 0.25f}));
    EXPECT_EQ(glow[0].how, KeyHow::Ramp);
    EXPECT_EQ(glow[1].value, 0.5f);

    // A value is the nearest float to the decimal, as a float literal is.
    EXPECT_EQ(MustRead("track a\n0 13.639461").tracks[0].keys[0].value, 13.639461f);
    EXPECT_EQ(MustRead("track a\n0 0.1").tracks[0].keys[0].value, 0.1f);
    // Nothing at all reads as no tracks.
    EXPECT_EQ(MustRead("").Count(), 0u);
    EXPECT_EQ(MustRead("\xEF\xBB\xBF\n# nothing\n").Count(), 0u);
}

TEST(ReadTracks, ReadsNumbersTheSameWhateverTheLocale)
{
    // A locale whose decimal separator is a comma; a parser that follows it
    // reads "8.5" as 8.
    // NOLINTBEGIN(concurrency-mt-unsafe): the suite runs on one thread
    const std::string before = std::setlocale(LC_ALL, nullptr);
    const bool changed =
        std::setlocale(LC_ALL, "German_Germany.1252") != nullptr || std::setlocale(LC_ALL, "de-DE") != nullptr;
    const Tracks tracks = MustRead("track a\n0.25 8.5\n");
    std::setlocale(LC_ALL, before.c_str());
    // NOLINTEND(concurrency-mt-unsafe)
    ASSERT_TRUE(changed);
    EXPECT_EQ(tracks.tracks[0].keys[0].time, 0.25);
    EXPECT_EQ(tracks.tracks[0].keys[0].value, 8.5f);
}

TEST(ReadTracks, RefusesBadInputNamingFileAndLine)
{
    const std::pair<std::string, std::string> refusals[] = {
        {"track a\n0 1\nplay a", "tracks.txt:3: unknown statement: \"play\""},
        {"Track a", "tracks.txt:1: unknown statement: \"Track\""},
        {"track", "tracks.txt:1: a track line is \"track NAME\""},
        {"track a b", "tracks.txt:1: a track line is \"track NAME\""},
        {"track a-b", "tracks.txt:1: a track's name is letters, digits, '.' and '_': \"a-b\""},
        {"track " + std::string(65, 'n'),
         "tracks.txt:1: a track's name is at most 64 bytes: \"" + std::string(40, 'n') + "...\""},
        {"0 1", "tracks.txt:1: a key before any track line"},
        {"track a\n0", "tracks.txt:2: a key is \"TIME VALUE [HOW]\""},
        {"track a\n0 1 step 2", "tracks.txt:2: a key is \"TIME VALUE [HOW]\""},
        {"track a\n0 1 cubic", "tracks.txt:2: HOW is step, linear, smooth or ramp, not \"cubic\""},
        {"track a\n0 1 Step", "tracks.txt:2: HOW is step, linear, smooth or ramp, not \"Step\""},
        {"track a\n0 inf", "tracks.txt:2: not a finite number: \"inf\""},
        {"track a\n0 nan", "tracks.txt:2: not a finite number: \"nan\""},
        {"track a\ninf 1", "tracks.txt:2: not a finite number: \"inf\""},
        {"track a\n0 1e39", "tracks.txt:2: a number out of single precision's range: \"1e39\""},
        {"track a\n0 1,5", "tracks.txt:2: not a number: \"1,5\""},
        {"track a\n0 +-1", "tracks.txt:2: not a number: \"+-1\""},
        {"track a\n0 0x10", "tracks.txt:2: not a number: \"0x10\""},
        {"track a\n-1 1", "tracks.txt:2: a key's time is not negative: -1"},
        {"track a\n6 1\n4.5 2", "tracks.txt:3: the keys' times must increase: 4.5 after 6"},
        {"track a\n6 1\n6 2", "tracks.txt:3: the keys' times must increase: 6 after 6"},
        {"track a\n0 1\ntrack b\n0 1\ntrack a", "tracks.txt:5: track a is named twice, first on line 1"},
        {"track a\ntrack b\n0 1", "tracks.txt:1: track a has no keys"},
        {"track a\n0 1\ntrack b", "tracks.txt:3: track b has no keys"},
        {"track a\n0 1 # caf\xC3\n", "tracks.txt:2: the line is not UTF-8"},
        {"track a\n0 1 # \xED\xA0\x80", "tracks.txt:2: the line is not UTF-8"},
        {"track a\n0 1 \x01", "tracks.txt:2: HOW is step, linear, smooth or ramp, not \"?\""},
        {"track a\n0 1 #" + std::string(4094, 'x'), "tracks.txt:2: the line is over 4096 bytes"},
        {std::string(kTracksFileByteLimit + 1, '\n'), "tracks.txt: the file is over 4 MiB (4194305 bytes)"},
    };
    for (const auto& [text, message] : refusals) {
        EXPECT_EQ(RefusalOf(text), message) << text.substr(0, 60);
    }
    // At the limits: a line of 4096 bytes before its CR LF, a file of 4 MiB.
    EXPECT_EQ(MustRead("track a\n0 1 #" + std::string(4091, 'x') + "\r\n").Count(), 1u);
    EXPECT_EQ(MustRead(std::string(kTracksFileByteLimit, '\n')).Count(), 0u);

    // Sixteen free tracks besides all thirteen named ones; a seventeenth free one is refused.
    std::string text;
    for (const std::string_view named : kNamedTracks) {
        text += "track " + std::string(named) + "\n0 1\n";
    }
    for (int i = 1; i <= 16; ++i) {
        text += "track free" + std::to_string(i) + "\n0 1\n";
    }
    EXPECT_EQ(MustRead(text).Count(), 29u);
    EXPECT_EQ(RefusalOf(text + "track free17\n0 1\n"), "tracks.txt:59: more than 16 free tracks: free17");

    // 100,000 keys in all, and one more.
    std::string keys = "track a\n";
    for (int i = 0; i < 50'000; ++i) {
        keys += std::to_string(i) + " 1\n";
    }
    keys += "track b\n";
    for (int i = 0; i < 50'000; ++i) {
        keys += std::to_string(i) + " 2 linear\n";
    }
    EXPECT_EQ(MustRead(keys).Count(), 2u);
    EXPECT_EQ(RefusalOf(keys + "50000 3"), "tracks.txt:100003: more than 100000 keys in all");
}

TEST(WriteTracks, WritesWhatReadsBackKeyForKey)
{
    const Tracks tracks = MustRead("track camera.x\n0 13.639461 smooth\n1e-3 -0 linear\n1e300 3.4e38 ramp\n"
                                   "track glow\n0.1 1e-45\n0.30000000000000004 0.1 step\n");
    const Tracks again = MustRead(WriteTracks(tracks));
    ASSERT_EQ(again.Count(), tracks.Count());
    for (std::size_t i = 0; i < tracks.Count(); ++i) {
        EXPECT_EQ(again.tracks[i].name, tracks.tracks[i].name);
        ASSERT_EQ(again.tracks[i].keys.size(), tracks.tracks[i].keys.size());
        for (std::size_t k = 0; k < tracks.tracks[i].keys.size(); ++k) {
            const TrackKey& a = tracks.tracks[i].keys[k];
            const TrackKey& b = again.tracks[i].keys[k];
            EXPECT_EQ((std::tuple{a.time, a.value, a.how}), (std::tuple{b.time, b.value, b.how})) << i << " " << k;
        }
    }
}

TEST(TrackValue, EachHowAtAndBetweenItsKeysAndBeyondTheEnds)
{
    // From 2 at t = 1 to 6 at t = 3: x = 0.25 half a second in.
    const std::pair<KeyHow, float> hows[] = {
        {KeyHow::Step, 2.0f}, {KeyHow::Linear, 3.0f}, {KeyHow::Smooth, 2.0f + 4 * 0.15625f}, {KeyHow::Ramp, 2.25f}};
    for (const auto& [how, quarter] : hows) {
        const std::vector<TrackKey> keys{{1.0, 2.0f, how}, {3.0, 6.0f, KeyHow::Step}, {4.0, -1.0f, KeyHow::Linear}};
        const auto at = [&](double t) { return ValueAt(keys, FindKey(keys, 0, t), t); };
        EXPECT_EQ(at(0.0), 2.0f) << "before the first key";
        EXPECT_EQ(at(1.0), 2.0f);
        EXPECT_EQ(at(1.5), quarter) << int(how);
        EXPECT_EQ(at(2.0), how == KeyHow::Step ? 2.0f : how == KeyHow::Ramp ? 3.0f : 4.0f);
        EXPECT_EQ(at(3.0), 6.0f);
        EXPECT_EQ(at(3.5), 6.0f) << "a step key holds to the next";
        EXPECT_EQ(at(4.0), -1.0f);
        EXPECT_EQ(at(1e9), -1.0f) << "after the last key";
    }
    const std::vector<TrackKey> single{{5.0, 7.5f, KeyHow::Linear}};
    for (const double t : {0.0, 5.0, 9.0}) {
        EXPECT_EQ(ValueAt(single, FindKey(single, 0, t), t), 7.5f);
    }
}

TEST(TrackValue, FoundFromAnyCursorAsTheTimePlaysOnOrJumps)
{
    std::vector<TrackKey> keys;
    keys.reserve(1000);
    for (int i = 0; i < 1000; ++i) {
        keys.push_back({0.5 * i + 2.0, float(i), KeyHow::Step});
    }
    const auto fresh = [&](double t) {
        std::size_t k = 0;
        while (k + 1 < keys.size() && keys[k + 1].time <= t) {
            ++k;
        }
        return k;
    };
    std::size_t cursor = 0;
    for (const double t : {0.0, 2.0, 2.2, 2.5, 3.0, 3.1, 200.0, 200.25, 1.0, 501.5, 9999.0, 3.0, 2.49, 2.5}) {
        cursor = FindKey(keys, cursor, t);
        EXPECT_EQ(cursor, fresh(t)) << t;
    }
    // A cursor past the end (after Use of shorter tracks) still finds its key.
    EXPECT_EQ(FindKey(keys, 5000, 3.0), fresh(3.0));
}

TEST(TrackPlayer, NamedTracksReplaceTheirNumberAndFreeTracksFillInOrder)
{
    TrackPlayer player;
    player.Use(MustRead("track glow\n0 1 linear\n2 3\ntrack camera.y\n0 -4\ntrack hue\n0 0.5\ntrack time\n0 9"));
    EXPECT_EQ(player.Count(), 4u);
    const TrackValues& values = player.ValuesAt(1.0f);
    EXPECT_TRUE(values.Has(NamedTrack::CameraY));
    EXPECT_TRUE(values.Has(NamedTrack::Time));
    EXPECT_FALSE(values.Has(NamedTrack::CameraX));
    EXPECT_EQ(values.Or(NamedTrack::CameraY, 100.0f), -4.0f);
    EXPECT_EQ(values.Or(NamedTrack::CameraX, 100.0f), 100.0f);
    EXPECT_EQ(values.Or(NamedTrack::Time, 1.0f), 9.0f);
    const std::array<float, kFreeTrackLimit> free{2.0f, 0.5f};
    EXPECT_EQ(values.free, free);

    // Back to no tracks: nothing in force, the free values 0 again.
    player.Use(Tracks{});
    EXPECT_EQ(player.Count(), 0u);
    const TrackValues& none = player.ValuesAt(1.0f);
    EXPECT_EQ(none.namedInForce, 0u);
    EXPECT_EQ(none.free, (std::array<float, kFreeTrackLimit>{}));
}

TEST(LoadTracksFile, TellsMissingReadAndRefusedApart)
{
    CreateDirectoryW(L"tracks-folder", nullptr);
    const auto write = [](const char* path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; };
    write("tracks-folder\\good.txt", "track camera.z\n0 5\n");
    write("tracks-folder\\bad.txt", "track camera.z\n0 5\n1 2 cubic\n");
    write("tracks-folder\\big.txt", std::string(kTracksFileByteLimit + 1, '\n'));

    const TracksFile good = LoadTracksFile(L"tracks-folder\\good.txt");
    EXPECT_EQ(good.outcome, TracksFile::Outcome::Read);
    EXPECT_EQ(good.tracks.Count(), 1u);
    // The example the package ships beside the shaders reads well.
    EXPECT_EQ(LoadTracksFile(L"shaders\\tracks-example.txt").outcome, TracksFile::Outcome::Read);
    EXPECT_EQ(LoadTracksFile(L"tracks-folder\\none.txt").outcome, TracksFile::Outcome::Missing);
    EXPECT_EQ(LoadTracksFile(L"no-such-folder\\tracks.txt").outcome, TracksFile::Outcome::Missing);

    const std::pair<const wchar_t*, std::string> refused[] = {
        {L"tracks-folder\\bad.txt", "tracks-folder\\bad.txt:3: HOW is step, linear, smooth or ramp, not \"cubic\""},
        {L"tracks-folder\\big.txt", "tracks-folder\\big.txt: the file is over 4 MiB (4194305 bytes)"},
        {L"tracks-folder", "cannot open tracks-folder (error 5)"},
    };
    for (const auto& [path, message] : refused) {
        const TracksFile file = LoadTracksFile(path);
        EXPECT_EQ(file.outcome, TracksFile::Outcome::Refused) << message;
        EXPECT_EQ(file.message, message);
        EXPECT_EQ(file.tracks.Count(), 0u);
    }
}

}  // namespace
