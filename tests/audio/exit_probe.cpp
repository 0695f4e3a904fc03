// Starts playback as the demo does (from a thread in a single-threaded COM
// apartment), checks that it runs, and returns 42 from main while the
// library's thread still plays: the exit code must reach the parent intact.
#include "audio/bass.h"

#include <objbase.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 3) {
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (!BASS_Init(std::atoi(argv[1]), 44100, 0, nullptr, nullptr)) {
        return 3;
    }
    const DWORD stream = BASS_StreamCreateFile(FALSE, argv[2], 0, 0, 0);
    if (stream == 0 || !BASS_ChannelStart(stream)) {
        return 4;
    }
    for (int i = 0; i < 300 && BASS_ChannelGetPosition(stream, BASS_POS_BYTE) == 0; ++i) {
        Sleep(10);
    }
    if (BASS_ChannelGetPosition(stream, BASS_POS_BYTE) == 0) {
        return 5;
    }
    Sleep(100);
    return 42;
}
