#include "scene/music.h"

#include "audio/bass.h"

#include <gtest/gtest.h>

namespace {

TEST(Music, TimeIsTheLibraryPositionInSecondsAndTheLengthIsTheWholeMusic)
{
    // A stream that failed to open reads as -1 seconds: a frozen frame time.
    EXPECT_EQ(MusicTime(0), -1.0f);
    EXPECT_EQ(MusicTime(0),
              static_cast<float>(BASS_ChannelBytes2Seconds(0, BASS_ChannelGetPosition(0, BASS_POS_BYTE))));

    BASS_Init(-1, 44100, 0, nullptr, nullptr);
    const DWORD stream = BASS_StreamCreateFile(FALSE, L"music.mp3", 0, 0, BASS_UNICODE);
    ASSERT_NE(stream, 0u);
    EXPECT_EQ(MusicTime(stream), 0.0f);  // not started: position 0
    const std::optional<double> seconds = MusicSeconds();
    ASSERT_TRUE(seconds);
    EXPECT_NEAR(*seconds, 64.0, 0.1);

    // Once started the time runs. Waiting for it, last, also lets the
    // library's threads finish making their decoders before the process ends.
    ASSERT_TRUE(BASS_ChannelStart(stream));
    for (int i = 0; i < 500 && MusicTime(stream) == 0.0f; ++i) {
        Sleep(10);
    }
    EXPECT_GT(MusicTime(stream), 0.0f);
}

}  // namespace
