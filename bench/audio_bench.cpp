// Plays a piece for 30 seconds through bass.dll and prints the time spent
// inside the five calls the demo makes before its first frame (each, and in
// all), how long the position then stays at 0, how far it drifts from the
// wall clock, the processor time the process (the library and the system's
// audio code in it; the bench itself sleeps) spends per second of playback,
// and the memory the library adds while playing.
//   audio_bench [file [seconds]]   (default: a 35 s tone written beside the
//   bench, played for 30 s; 0 seconds stops after the start-up figures)
#include "audio/bass.h"
#include "bench/bench_clock.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

double ProcessCpuSeconds()
{
    FILETIME creation{}, exit{}, kernel{}, user{};
    GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user);
    const auto seconds = [](FILETIME t) {
        return static_cast<double>((std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime) * 1e-7;
    };
    return seconds(kernel) + seconds(user);
}

struct Memory {
    double workingSetMiB;
    double privateMiB;
};

Memory ProcessMemory()
{
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters));
    return {static_cast<double>(counters.WorkingSetSize) / (1 << 20),
            static_cast<double>(counters.PagefileUsage) / (1 << 20)};
}

bool WriteTone(const char* path, double seconds)
{
    const std::uint32_t rate = 44100;
    const std::uint32_t frames = static_cast<std::uint32_t>(seconds * rate);
    const std::uint32_t dataSize = frames * 4;
    std::vector<std::uint8_t> wav;
    const auto put32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            wav.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        }
    };
    const auto put16 = [&](std::uint16_t v) {
        wav.push_back(static_cast<std::uint8_t>(v));
        wav.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    const auto tag = [&](const char* t) { wav.insert(wav.end(), t, t + 4); };
    tag("RIFF");
    put32(36 + dataSize);
    tag("WAVE");
    tag("fmt ");
    put32(16);
    put16(1);  // PCM
    put16(2);  // stereo
    put32(rate);
    put32(rate * 4);
    put16(4);
    put16(16);
    tag("data");
    put32(dataSize);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const auto s = static_cast<std::int16_t>(6000 * std::sin(2 * 3.14159265358979 * 330.0 * i / rate));
        put16(static_cast<std::uint16_t>(s));
        put16(static_cast<std::uint16_t>(s));
    }
    FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        return false;
    }
    const bool ok = std::fwrite(wav.data(), 1, wav.size(), file) == wav.size();
    return std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv)
{
    const char* path = argc > 1 ? argv[1] : "audio_bench_tone.wav";
    const int playSeconds = argc > 2 ? std::max(0, std::atoi(argv[2])) : 30;
    if (argc <= 1 && !WriteTone(path, 35.0)) {
        std::printf("cannot write %s\n", path);
        return 1;
    }
    // The demo's calls before its first frame, in its order.
    double callMs[5]{};
    const auto timed = [&](int call, auto&& work) {
        const double begin = NowSeconds();
        const auto result = work();
        callMs[call] = (NowSeconds() - begin) * 1000;
        return result;
    };
    if (!timed(0, [] { return BASS_Init(-1, 44100, 0, nullptr, nullptr); })) {
        std::printf("BASS_Init failed\n");
        return 1;
    }
    const Memory idle = ProcessMemory();
    const DWORD stream = timed(1, [&] { return BASS_StreamCreateFile(FALSE, path, 0, 0, 0); });
    if (stream == 0) {
        std::printf("cannot open %s\n", path);
        return 1;
    }
    const double cpuStart = ProcessCpuSeconds();
    const double startCall = NowSeconds();
    timed(2, [&] { return BASS_ChannelStart(stream); });
    const QWORD firstPosition = timed(3, [&] { return BASS_ChannelGetPosition(stream, BASS_POS_BYTE); });
    timed(4, [&] { return BASS_ChannelBytes2Seconds(stream, firstPosition); });
    std::printf("the five calls before the first frame: %.2f ms (BASS_Init %.2f, BASS_StreamCreateFile(%s) %.2f, "
                "BASS_ChannelStart %.2f, BASS_ChannelGetPosition %.2f, BASS_ChannelBytes2Seconds %.2f)\n",
                callMs[0] + callMs[1] + callMs[2] + callMs[3] + callMs[4], callMs[0], path, callMs[1], callMs[2],
                callMs[3], callMs[4]);
    std::printf("length %.3f s\n", BASS_ChannelBytes2Seconds(stream, BASS_ChannelGetLength(stream, BASS_POS_BYTE)));

    while (BASS_ChannelGetPosition(stream, BASS_POS_BYTE) == 0 && NowSeconds() - startCall < 5) {
        Sleep(1);
    }
    const double wallStart = NowSeconds();
    const double positionStart = BASS_ChannelBytes2Seconds(stream, BASS_ChannelGetPosition(stream, BASS_POS_BYTE));
    std::printf("start-up: the position left 0 %.1f ms after BASS_ChannelStart\n", (wallStart - startCall) * 1000);
    if (playSeconds == 0) {
        return 0;
    }

    double worst = 0;
    double offset = 0;
    for (int second = 1; second <= playSeconds; ++second) {
        Sleep(static_cast<DWORD>(std::max(0.0, (wallStart + second - NowSeconds()) * 1000)));
        const double wall = NowSeconds() - wallStart;
        const double played =
            BASS_ChannelBytes2Seconds(stream, BASS_ChannelGetPosition(stream, BASS_POS_BYTE)) - positionStart;
        offset = played - wall;
        worst = std::max(worst, std::fabs(offset));
        if (second % 5 == 0) {
            const Memory playing = ProcessMemory();
            std::printf("  t=%5.2f s  position=%7.3f s  drift=%+7.1f ms  library's memory: working set %+.1f MiB, "
                        "private %+.1f MiB\n",
                        wall, played, offset * 1000, playing.workingSetMiB - idle.workingSetMiB,
                        playing.privateMiB - idle.privateMiB);
        }
    }
    const double wall = NowSeconds() - wallStart;
    const double cpu = ProcessCpuSeconds() - cpuStart;
    std::printf("drift after %.1f s: %+.1f ms (%+.3f %%), largest %.1f ms\n", wall, offset * 1000, offset / wall * 100,
                worst * 1000);
    std::printf("processor time: %.1f ms per second of playback (%.2f %% of one core)\n", cpu / wall * 1000,
                cpu / wall * 100);

    // Granularity: how often a read shows a new value.
    int changes = 0;
    QWORD last = BASS_ChannelGetPosition(stream, BASS_POS_BYTE);
    const double sampleStart = NowSeconds();
    int reads = 0;
    while (NowSeconds() - sampleStart < 0.5) {
        const QWORD now = BASS_ChannelGetPosition(stream, BASS_POS_BYTE);
        changes += now != last;
        last = now;
        ++reads;
    }
    std::printf("position reads: %d in 0.5 s (%.2f us each), %d distinct steps\n", reads, 500000.0 / reads, changes);
    return 0;
}
