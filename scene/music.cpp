#include "scene/music.h"

#include "audio/bass.h"
#include "scene/scene_content.h"

namespace {

DWORD OpenMusic(DWORD flags = 0)
{
    return BASS_StreamCreateFile(FALSE, kMusicFile, 0, 0, BASS_UNICODE | flags);
}

}  // namespace

DWORD StartMusic(bool loop)
{
    // The library is given the foreground window of this moment, not ours.
    BASS_Init(-1, 44100, 0, GetForegroundWindow(), nullptr);
    // A looping stream's position starts again at 0 at each loop, and so does the picture.
    const DWORD stream = OpenMusic(loop ? BASS_SAMPLE_LOOP : 0);
    BASS_ChannelStart(stream);
    return stream;
}

void EndMusic()
{
    BASS_Free();
}

float MusicTime(DWORD stream)
{
    return static_cast<float>(BASS_ChannelBytes2Seconds(stream, BASS_ChannelGetPosition(stream, BASS_POS_BYTE)));
}

std::optional<double> MusicSeconds()
{
    // Device 0: no sound, so nothing is opened that could be heard.
    BASS_Init(0, 44100, 0, nullptr, nullptr);
    const DWORD stream = OpenMusic();
    if (stream == 0) {
        return std::nullopt;
    }
    const QWORD bytes = BASS_ChannelGetLength(stream, BASS_POS_BYTE);
    const double seconds = BASS_ChannelBytes2Seconds(stream, bytes);
    if (bytes == static_cast<QWORD>(-1) || seconds <= 0.0) {
        return std::nullopt;
    }
    return seconds;
}

double MusicPosition(DWORD stream)
{
    return BASS_ChannelBytes2Seconds(stream, BASS_ChannelGetPosition(stream, BASS_POS_BYTE));
}

double MusicLength(DWORD stream)
{
    const QWORD bytes = BASS_ChannelGetLength(stream, BASS_POS_BYTE);
    const double seconds = BASS_ChannelBytes2Seconds(stream, bytes);
    return bytes == static_cast<QWORD>(-1) || seconds < 0.0 ? 0.0 : seconds;
}

bool SeekMusic(DWORD stream, double seconds, bool paused)
{
    const QWORD length = BASS_ChannelGetLength(stream, BASS_POS_BYTE);
    QWORD bytes = BASS_ChannelSeconds2Bytes(stream, seconds < 0.0 ? 0.0 : seconds);
    if (length == static_cast<QWORD>(-1) || length == 0 || bytes == static_cast<QWORD>(-1)) {
        return false;
    }
    // The library rounds down to a whole frame: one byte short of the end is its last frame.
    bytes = bytes >= length ? length - 1 : bytes;
    if (!BASS_ChannelSetPosition(stream, bytes, BASS_POS_BYTE)) {
        return false;
    }
    return paused ? (BASS_ChannelPause(stream) || BASS_ChannelIsActive(stream) != BASS_ACTIVE_PLAYING)
                  : BASS_ChannelPlay(stream, FALSE) != FALSE;
}

bool PauseMusic(DWORD stream)
{
    return BASS_ChannelPause(stream) != FALSE;
}

bool ResumeMusic(DWORD stream)
{
    return BASS_ChannelPlay(stream, FALSE) != FALSE;
}
