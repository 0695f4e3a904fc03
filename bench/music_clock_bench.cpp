// How smoothly and truly the music's position follows real time.
//   music_clock_bench FILE [seconds]  plays FILE through bass.dll on the default
//                                     output and reads the position every
//                                     millisecond or two (10 s when not given)
//   music_clock_bench --fake          the library's clock on simulated time,
//                                     following a device whose clock moves in
//                                     10 ms or 20 ms steps with jitter, read
//                                     every millisecond for 10 s
// For each it prints the position's error against real time (its spread and
// its worst, about the mean), its drift (the mean error of the last second
// against that of the first),
// and the error of each step a picture would see when read at 60, 144 and
// 240 frames per second. For a file it prints them again from 5 s after the
// position's first move, with how late the position's line from then on began.
#include "audio/bass.h"
#include "audio/playback_clock.h"
#include "bench/bench_clock.h"

#include <windows.h>
#include <timeapi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr double kSettlingSeconds = 5;

// One read of the position: when (seconds of real time) and what (seconds of music).
struct Sample {
    double wall;
    double position;
};

struct Spread {
    double sd = 0;
    double worst = 0;  // about the mean
};

Spread SpreadOf(const std::vector<double>& values)
{
    if (values.empty()) {
        return {};
    }
    double mean = 0;
    for (const double v : values) {
        mean += v;
    }
    mean /= static_cast<double>(values.size());
    Spread spread;
    for (const double v : values) {
        spread.sd += (v - mean) * (v - mean);
        spread.worst = std::max(spread.worst, std::fabs(v - mean));
    }
    spread.sd = std::sqrt(spread.sd / static_cast<double>(values.size()));
    return spread;
}

// Steps between the reads a picture at `rate` frames per second would make:
// the first read at or after each frame's time.
std::vector<double> FrameStepErrors(const std::vector<Sample>& samples, double rate)
{
    std::vector<double> errors;
    const Sample* previous = nullptr;
    std::size_t next = 0;
    for (int frame = 0;; ++frame) {
        const double due = samples.front().wall + frame / rate;
        while (next < samples.size() && samples[next].wall < due) {
            ++next;
        }
        if (next == samples.size()) {
            return errors;
        }
        const Sample& current = samples[next];
        if (previous != nullptr && &current != previous) {
            errors.push_back((current.position - previous->position) - (current.wall - previous->wall));
        }
        previous = &current;
    }
}

void PrintFigures(const char* output, const std::vector<Sample>& samples)
{
    if (samples.size() < 2) {
        std::printf("%s: too few reads\n", output);
        return;
    }
    std::vector<double> errors;
    errors.reserve(samples.size());
    for (const Sample& s : samples) {
        errors.push_back((s.position - samples.front().position) - (s.wall - samples.front().wall));
    }
    const Spread error = SpreadOf(errors);
    const double seconds = samples.back().wall - samples.front().wall;
    // The mean error of the last second against the first.
    double firstSecond = 0;
    double lastSecond = 0;
    int inFirst = 0;
    int inLast = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (samples[i].wall - samples.front().wall < 1) {
            firstSecond += errors[i];
            ++inFirst;
        }
        if (samples.back().wall - samples[i].wall < 1) {
            lastSecond += errors[i];
            ++inLast;
        }
    }
    const double drift = lastSecond / inLast - firstSecond / inFirst;
    std::printf("%s: %zu reads over %.1f s: error sd %.3f ms, worst %.3f ms, drift %+.3f ms\n", output, samples.size(),
                seconds, error.sd * 1000, error.worst * 1000, drift * 1000);
    for (const double rate : {60.0, 144.0, 240.0}) {
        const std::vector<double> steps = FrameStepErrors(samples, rate);
        double worst = 0;
        int late = 0;
        for (const double step : steps) {
            worst = std::max(worst, std::fabs(step));
            late += std::fabs(step) > 0.001 ? 1 : 0;
        }
        std::printf("  read at %3.0f Hz: step error sd %.3f ms, worst %.3f ms, %d of %zu steps off by more than 1 ms\n",
                    rate, SpreadOf(steps).sd * 1000, worst * 1000, late, steps.size());
    }
}

// A device whose clock moves in steps of `stepUs`, each some `jitterUs` early
// or late, read by the library's feeding thread about every 10 ms (the time of
// a reading is when it was taken, as Wine's PulseAudio driver gives it); the
// position is read every millisecond.
std::vector<Sample> FollowSteppingDevice(std::uint64_t stepUs, std::uint64_t jitterUs, double seconds)
{
    constexpr std::uint32_t kRate = 44100;
    constexpr std::uint64_t kStart = 1'000'000;
    std::mt19937 random(7);
    std::uniform_int_distribution<std::uint64_t> jitter(0, 2 * jitterUs);
    std::uniform_int_distribution<std::uint64_t> feedDelay(0, 3'000);
    PlaybackClock clock(kRate);
    clock.FollowDevice(kStart);
    clock.Limit(UINT64_MAX / 2, kStart);
    const auto framesAt = [](std::uint64_t time) { return (time - kStart) * kRate / 1'000'000; };
    // Step k comes at kStart + k steps, a little early or late.
    const auto stepTime = [&](std::uint64_t k) { return kStart + k * stepUs - jitterUs + jitter(random); };
    std::uint64_t step = 1;
    std::uint64_t nextStep = stepTime(step);
    std::uint64_t shown = 0;  // what the device's clock shows
    std::uint64_t nextFeed = kStart + 10'000;
    std::vector<Sample> samples;
    const auto end = kStart + static_cast<std::uint64_t>(seconds * 1e6);
    for (std::uint64_t now = kStart; now < end; now += 1'000) {
        while (nextStep <= now) {
            shown = framesAt(nextStep);
            nextStep = stepTime(++step);
        }
        if (nextFeed <= now) {
            clock.AddReading(shown, now);
            nextFeed = now + 10'000 + feedDelay(random);
        }
        const std::uint64_t position = clock.Position(now);
        if (position > 0) {
            samples.push_back({static_cast<double>(now) * 1e-6, static_cast<double>(position) / kRate});
        }
    }
    return samples;
}

int PlayFile(const char* path, double seconds)
{
    if (!BASS_Init(-1, 44100, 0, nullptr, nullptr)) {
        std::printf("BASS_Init failed\n");
        return 1;
    }
    const DWORD stream = BASS_StreamCreateFile(FALSE, path, 0, 0, 0);
    if (stream == 0 || !BASS_ChannelStart(stream)) {
        std::printf("cannot play %s\n", path);
        return 1;
    }
    const auto position = [stream] {
        return BASS_ChannelBytes2Seconds(stream, BASS_ChannelGetPosition(stream, BASS_POS_BYTE));
    };
    const double started = NowSeconds();
    while (position() <= 0 && NowSeconds() - started < 5) {
        Sleep(1);
    }
    std::vector<Sample> samples;
    const double first = NowSeconds();
    while (NowSeconds() - first < seconds) {
        samples.push_back({NowSeconds(), position()});
        Sleep(1);
    }
    PrintFigures(path, samples);
    // A sound server may begin to play some time after the start while its
    // driver's clock already moves, then slow that clock until the sound
    // catches up with it: the figures once that is over tell how the position
    // follows the sound, and where the sound's line crossed zero tells how late it began.
    std::vector<Sample> settled;
    for (const Sample& s : samples) {
        if (s.wall - first >= kSettlingSeconds) {
            settled.push_back(s);
        }
    }
    if (!settled.empty()) {
        double behind = 0;
        for (const Sample& s : settled) {
            behind += (s.wall - first) - s.position;
        }
        std::printf("from %.0f s on, the position's line crosses 0 %.1f ms after its first move\n", kSettlingSeconds,
                    behind / static_cast<double>(settled.size()) * 1000);
        PrintFigures("from then on", settled);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::printf("usage: music_clock_bench FILE [seconds] | --fake\n");
        return 1;
    }
    if (std::strcmp(argv[1], "--fake") == 0) {
        PrintFigures("fake device, 10 ms steps, jitter 2 ms", FollowSteppingDevice(10'000, 2'000, 10.0));
        PrintFigures("fake device, 20 ms steps, jitter 2 ms", FollowSteppingDevice(20'000, 2'000, 10.0));
        return 0;
    }
    timeBeginPeriod(1);
    const double seconds = argc > 2 ? std::atof(argv[2]) : 10.0;
    const int result = PlayFile(argv[1], seconds > 0 ? seconds : 10.0);
    timeEndPeriod(1);
    return result;
}
