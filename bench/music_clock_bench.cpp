// How smoothly and truly the music's position follows real time.
//   music_clock_bench FILE [seconds]  plays FILE through bass.dll on the default
//                                     output and reads the position every
//                                     millisecond or two (10 s when not given)
// For each it prints the position's error against real time (its spread and
// its worst, about the mean), its drift from the first reading to the last,
// and the error of each step a picture would see when read at 60, 144 and
// 240 frames per second.
#include "audio/bass.h"
#include "bench/bench_clock.h"

#include <windows.h>
#include <timeapi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

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
    for (const Sample& s : samples) {
        errors.push_back((s.position - samples.front().position) - (s.wall - samples.front().wall));
    }
    const Spread error = SpreadOf(errors);
    const double seconds = samples.back().wall - samples.front().wall;
    std::printf("%s: %zu reads over %.1f s: error sd %.3f ms, worst %.3f ms, drift %+.3f ms\n", output, samples.size(),
                seconds, error.sd * 1000, error.worst * 1000, errors.back() * 1000);
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
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::printf("usage: music_clock_bench FILE [seconds]\n");
        return 1;
    }
    timeBeginPeriod(1);
    const double seconds = argc > 2 ? std::atof(argv[2]) : 10.0;
    const int result = PlayFile(argv[1], seconds > 0 ? seconds : 10.0);
    timeEndPeriod(1);
    return result;
}
