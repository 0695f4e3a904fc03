// Starts playback as the demo does (from a thread in a single-threaded COM
// apartment), checks that it runs, and returns 42 from main while the
// library's thread still plays: the exit code must reach the parent intact,
// and the library must have ended by the time the runtime's earlier exit
// calls run (otherwise the exit code is 6).
// Given a number of seconds as well, it first plays that long and prints the
// position every 10 ms ("milliseconds bytes" a line), for the scripts that
// watch the sound through a sound server. Given "free" last, it ends the
// library with BASS_Free before returning, as the programs do, and checks
// that the stream is gone (otherwise 7).
#include "audio/bass.h"

#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

DWORD stream = 0;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables): read by the exit call

constexpr QWORD kNoPosition = ~QWORD{0};

// Registered before the library's own exit call, so it runs after it.
void CheckLibraryEnded()
{
    if (stream != 0 && BASS_ChannelGetPosition(stream, BASS_POS_BYTE) != kNoPosition) {
        std::_Exit(6);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const bool free = argc > 3 && std::strcmp(argv[argc - 1], "free") == 0;
    if (free) {
        --argc;
    }
    if (argc != 3 && argc != 4) {
        return 2;
    }
    std::atexit(CheckLibraryEnded);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (!BASS_Init(std::atoi(argv[1]), 44100, 0, nullptr, nullptr)) {
        return 3;
    }
    stream = BASS_StreamCreateFile(FALSE, argv[2], 0, 0, 0);
    if (stream == 0 || !BASS_ChannelStart(stream)) {
        return 4;
    }
    if (argc == 4) {
        const DWORD start = GetTickCount();
        const DWORD span = static_cast<DWORD>(std::atof(argv[3]) * 1000);
        for (DWORD elapsed = 0; elapsed < span; elapsed = GetTickCount() - start) {
            std::printf("%lu %llu\n", elapsed, BASS_ChannelGetPosition(stream, BASS_POS_BYTE));
            std::fflush(stdout);
            Sleep(10);
        }
    }
    for (int i = 0; i < 300 && BASS_ChannelGetPosition(stream, BASS_POS_BYTE) == 0; ++i) {
        Sleep(10);
    }
    if (BASS_ChannelGetPosition(stream, BASS_POS_BYTE) == 0) {
        return 5;
    }
    Sleep(100);
    if (free && (!BASS_Free() || BASS_ChannelGetPosition(stream, BASS_POS_BYTE) != kNoPosition || BASS_Free())) {
        return 7;
    }
    return 42;
}
