#include "app/music.h"

#include "audio/bass.h"

DWORD StartMusic()
{
    // The library is given the foreground window of this moment, not ours.
    BASS_Init(-1, 44100, 0, GetForegroundWindow(), nullptr);
    const DWORD stream = BASS_StreamCreateFile(FALSE, L"music.mp3", 0, 0, BASS_UNICODE);
    BASS_ChannelStart(stream);
    return stream;
}

float MusicTime(DWORD stream)
{
    return static_cast<float>(BASS_ChannelBytes2Seconds(stream, BASS_ChannelGetPosition(stream, BASS_POS_BYTE)));
}
