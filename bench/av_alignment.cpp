// The music heard against the position the program reads.
//   av_alignment play FILE SECONDS      plays FILE through bass.dll on the
//                                       default output, prints "unix-us bytes"
//                                       a line every 4 ms for SECONDS, then
//                                       ends the library
//   av_alignment device MUSIC SECONDS [FIRST DELAY]
//                                       plays MUSIC (as for "match") straight
//                                       through WASAPI as the library does
//                                       (shared mode, 200 ms, on the event)
//                                       and prints at each wake-up "unix-us
//                                       frames-written padding position
//                                       position's-time-in-unix-us"; given
//                                       FIRST and DELAY, it starts with only
//                                       FIRST frames queued and queues the
//                                       rest DELAY ms later
//   av_alignment seam MUSIC RECORDING START [FROM TO]
//                                       where a looping player's seam was
//                                       heard: "seam UNIX-US correlation C
//                                       gap MS", the moment the music began
//                                       again, and how far its last half
//                                       second ended before its first began
//                                       (0 for a seamless loop); given FROM
//                                       and TO (seconds), the seam of a
//                                       passage repeated from TO back to FROM
//   av_alignment match MUSIC RECORDING POSITIONS START
//                                       MUSIC and RECORDING are 16-bit stereo
//                                       PCM at 44.1 kHz: the decoded music and
//                                       what the sink played, recorded from
//                                       START (microseconds of Unix time);
//                                       POSITIONS is what "play" printed
// "match" finds the music time heard in each quarter second of the recording
// by cross-correlation with the music, and prints the music time at which the
// sound began, the music time heard less the position read at the same
// moment (at several points and over the run), and how smoothly the position
// followed the wall clock from 5 s after it first moved (AV_ALIGNMENT_BLOCKS
// set: each quarter second's match as well). bench/av_alignment.sh runs both
// through a sound server.
#include "audio/bass.h"
#include "bench/bench_clock.h"
#include "bench/shared_mode_stream.h"

#include <windows.h>
#include <audioclient.h>
#include <mmdeviceapi.h>
#include <timeapi.h>
#include <wrl/client.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr double kRate = 44100;
constexpr double kBytesPerSecond = 176400;
constexpr std::size_t kBlock = 11025;  // a quarter second
constexpr std::size_t kDecimation = 8;
// A quarter second with a gap of silence in it (a busy machine's sound has
// them) still matches well above chance; a clean one, above 0.99.
constexpr double kGoodMatch = 0.5;
constexpr double kCleanMatch = 0.9;
constexpr double kSearchSeconds = 0.4;  // the music's bars repeat every 0.89 s

int Play(const char* file, double seconds)
{
    timeBeginPeriod(1);
    if (!BASS_Init(-1, 44100, 0, nullptr, nullptr)) {
        return 3;
    }
    const DWORD stream = BASS_StreamCreateFile(FALSE, file, 0, 0, 0);
    if (stream == 0 || !BASS_ChannelStart(stream)) {
        return 4;
    }
    const std::int64_t start = UnixMicroseconds();
    for (std::int64_t now = start; now - start < static_cast<std::int64_t>(seconds * 1e6); now = UnixMicroseconds()) {
        std::printf("%lld %llu\n", static_cast<long long>(now), BASS_ChannelGetPosition(stream, BASS_POS_BYTE));
        Sleep(4);
    }
    // Looked up, so that a library without it (an older build) can be measured too.
    using FreeFunction = BOOL(WINAPI*)();
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the export has the vendor's type.
    const auto free = reinterpret_cast<FreeFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"bass.dll"), "BASS_Free")));
    if (free == nullptr) {
        return 0;
    }
    const std::int64_t freeing = UnixMicroseconds();
    free();
    std::fprintf(stderr, "BASS_Free took %.1f ms\n", static_cast<double>(UnixMicroseconds() - freeing) / 1e3);
    return 0;
}

std::vector<char> LoadBytes(const char* path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

// What the device says while it plays, without our library between.
int PlayOnDevice(const char* musicPath, double seconds, std::size_t firstFrames, DWORD delayMs)
{
    const std::vector<char> music = LoadBytes(musicPath);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const HANDLE ready = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    SharedModeStream stream;
    Microsoft::WRL::ComPtr<IAudioClock> clock;
    UINT64 frequency = 0;
    if (!OpenSharedModeStream(ready, stream) || FAILED(stream.client->GetService(IID_PPV_ARGS(&clock))) ||
        FAILED(clock->GetFrequency(&frequency))) {
        std::printf("no device\n");
        return 3;
    }
    IAudioClient* const client = stream.client.Get();
    IAudioRenderClient* const render = stream.render.Get();
    const UINT32 bufferFrames = stream.bufferFrames;
    LARGE_INTEGER counterFrequency{};
    QueryPerformanceFrequency(&counterFrequency);
    const std::size_t totalFrames = music.size() / 4;
    std::size_t written = 0;
    const auto fill = [&] {
        UINT32 padding = 0;
        client->GetCurrentPadding(&padding);
        const std::size_t frames = std::min<std::size_t>(bufferFrames - padding, totalFrames - written);
        BYTE* target = nullptr;
        if (frames > 0 && SUCCEEDED(render->GetBuffer(static_cast<UINT32>(frames), &target))) {
            std::memcpy(target, &music[written * 4], frames * 4);
            render->ReleaseBuffer(static_cast<UINT32>(frames), 0);
            written += frames;
        }
    };
    const auto fillUpTo = [&](std::size_t frames) {
        BYTE* target = nullptr;
        if (frames > 0 && SUCCEEDED(render->GetBuffer(static_cast<UINT32>(frames), &target))) {
            std::memcpy(target, music.data(), frames * 4);
            render->ReleaseBuffer(static_cast<UINT32>(frames), 0);
            written = frames;
        }
    };
    // As a player whose decoder has not caught up yet: started with less, the rest a moment later.
    if (firstFrames < bufferFrames) {
        fillUpTo(firstFrames);
    } else {
        fill();
    }
    client->Start();
    Sleep(delayMs);
    const std::int64_t start = UnixMicroseconds();
    for (std::int64_t now = start; now - start < static_cast<std::int64_t>(seconds * 1e6); now = UnixMicroseconds()) {
        WaitForSingleObject(ready, 20);
        fill();
        UINT32 padding = 0;
        client->GetCurrentPadding(&padding);
        UINT64 position = 0;
        UINT64 at = 0;  // the performance counter at the position, 100 ns units
        clock->GetPosition(&position, &at);
        LARGE_INTEGER counter{};
        QueryPerformanceCounter(&counter);
        const double counterNow = double(counter.QuadPart) / double(counterFrequency.QuadPart) * 1e7;
        now = UnixMicroseconds();
        std::printf("%lld %zu %u %llu %lld\n", static_cast<long long>(now), written, padding,
                    position * 44100 / frequency,
                    static_cast<long long>(static_cast<double>(now) - (counterNow - double(at)) / 10));
    }
    client->Stop();
    CloseHandle(ready);
    return 0;
}

// 16-bit stereo PCM as one channel, the two summed.
std::vector<float> LoadMono(const char* path)
{
    const std::vector<char> bytes = LoadBytes(path);
    std::vector<float> mono(bytes.size() / 4);
    for (std::size_t i = 0; i < mono.size(); ++i) {
        std::int16_t left = 0;
        std::int16_t right = 0;
        std::memcpy(&left, &bytes[i * 4], 2);
        std::memcpy(&right, &bytes[i * 4 + 2], 2);
        mono[i] = static_cast<float>(left) + static_cast<float>(right);
    }
    return mono;
}

std::vector<float> Decimate(const std::vector<float>& samples)
{
    std::vector<float> fewer(samples.size() / kDecimation);
    for (std::size_t i = 0; i < fewer.size(); ++i) {
        float sum = 0;
        for (std::size_t k = 0; k < kDecimation; ++k) {
            sum += samples[i * kDecimation + k];
        }
        fewer[i] = sum;
    }
    return fewer;
}

// Running sums of squares, for each window's energy.
std::vector<double> Energies(const std::vector<float>& samples)
{
    std::vector<double> sums(samples.size() + 1, 0.0);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        sums[i + 1] = sums[i] + double(samples[i]) * samples[i];
    }
    return sums;
}

struct Found {
    std::size_t lag = 0;
    double correlation = -1;
};

// The best of the music's windows from `first` to `last` for `length` samples of `piece` at `at`.
Found BestMatch(const std::vector<float>& piece, std::size_t at, const std::vector<float>& music,
                const std::vector<double>& musicEnergy, std::size_t first, std::size_t last, std::size_t length)
{
    Found best;
    double pieceEnergy = 0;
    for (std::size_t i = 0; i < length; ++i) {
        pieceEnergy += double(piece[at + i]) * piece[at + i];
    }
    last = std::min(last, music.size() - length);
    for (std::size_t lag = first; lag <= last; ++lag) {
        double dot = 0;
        for (std::size_t i = 0; i < length; ++i) {
            dot += double(piece[at + i]) * music[lag + i];
        }
        const double energy = (musicEnergy[lag + length] - musicEnergy[lag]) * pieceEnergy;
        const double correlation = energy > 0 ? dot / std::sqrt(energy) : 0;
        if (correlation > best.correlation) {
            best = {lag, correlation};
        }
    }
    return best;
}

struct Read {
    double wall;  // seconds of Unix time
    double position;
};

std::optional<double> PositionAt(const std::vector<Read>& reads, double wall)
{
    const auto after = std::lower_bound(reads.begin(), reads.end(), wall,
                                        [](const Read& read, double time) { return read.wall < time; });
    if (after == reads.begin() || after == reads.end()) {
        return std::nullopt;
    }
    const Read& before = *(after - 1);
    const double share = (wall - before.wall) / (after->wall - before.wall);
    return before.position + share * (after->position - before.position);
}

int Match(const char* musicPath, const char* recordingPath, const char* positionsPath, double recordingStart)
{
    const std::vector<float> music = LoadMono(musicPath);
    const std::vector<float> recording = LoadMono(recordingPath);
    std::vector<Read> reads;
    std::FILE* positions = std::fopen(positionsPath, "r");
    long long unixUs = 0;
    unsigned long long bytes = 0;
    while (positions != nullptr && std::fscanf(positions, "%lld %llu", &unixUs, &bytes) == 2) {
        reads.push_back({static_cast<double>(unixUs) / 1e6, static_cast<double>(bytes) / kBytesPerSecond});
    }
    if (positions != nullptr) {
        std::fclose(positions);
    }
    if (music.size() < kBlock || reads.empty()) {
        std::printf("nothing to match\n");
        return 1;
    }
    const std::vector<float> music8 = Decimate(music);
    const std::vector<double> energy = Energies(music);
    const std::vector<double> energy8 = Energies(music8);

    // The sound begins where a sample first stands out of the silence.
    std::size_t soundStart = 0;
    while (soundStart < recording.size() && std::fabs(recording[soundStart]) < 128) {
        ++soundStart;
    }
    if (soundStart + kBlock > recording.size()) {
        std::printf("no sound recorded\n");
        return 1;
    }
    const std::vector<float> recording8 = Decimate(recording);

    struct Heard {
        double recorded;  // seconds into the recording
        double music;     // the music time heard then
        double offset;    // less the position read at that moment, seconds; NaN without one
    };
    std::vector<Heard> heard;
    int silent = 0;  // between sounds: the silence after the end is not counted
    int silentSinceMatch = 0;
    int jumps = 0;
    int clean = 0;
    std::size_t expected = 0;  // where the next quarter second should be, once one matched
    bool tracking = false;
    for (std::size_t at = soundStart; at + kBlock <= recording.size(); at += kBlock) {
        double rms = 0;
        for (std::size_t i = 0; i < kBlock; ++i) {
            rms += double(recording[at + i]) * recording[at + i];
        }
        if (std::sqrt(rms / kBlock) < 64) {
            ++silentSinceMatch;
            tracking = false;
            continue;
        }
        Found found;
        if (tracking) {
            const std::size_t from = expected > 441 ? expected - 441 : 0;
            found = BestMatch(recording, at, music, energy, from, expected + 441, kBlock);
        }
        if (found.correlation < kGoodMatch) {
            // The music repeats itself: look close to what the position says,
            // or to where the last match leads.
            const double wall = recordingStart + static_cast<double>(at) / kRate;
            const std::optional<double> position = PositionAt(reads, wall);
            const double guess = position ? *position
                                 : heard.empty()
                                     ? 0.0
                                     : heard.back().music + static_cast<double>(at) / kRate - heard.back().recorded;
            const auto toLag8 = [](double seconds) {
                return static_cast<std::size_t>(std::max(0.0, seconds) * kRate) / kDecimation;
            };
            const Found coarse =
                BestMatch(recording8, at / kDecimation, music8, energy8, toLag8(guess - kSearchSeconds),
                          toLag8(guess + kSearchSeconds), kBlock / kDecimation);
            const std::size_t centre = coarse.lag * kDecimation;
            found = BestMatch(recording, at, music, energy, centre > 16 ? centre - 16 : 0, centre + 16, kBlock);
            jumps += tracking && found.correlation >= kGoodMatch ? 1 : 0;
        }
        // NOLINTNEXTLINE(concurrency-mt-unsafe): read while this program has one thread.
        if (std::getenv("AV_ALIGNMENT_BLOCKS") != nullptr) {
            std::printf("  %.3f s recorded: music %.3f s, correlation %.3f\n", static_cast<double>(at) / kRate,
                        static_cast<double>(found.lag) / kRate, found.correlation);
        }
        if (found.correlation < kGoodMatch) {
            tracking = false;
            continue;
        }
        tracking = true;
        silent += heard.empty() ? 0 : silentSinceMatch;
        silentSinceMatch = 0;
        clean += found.correlation >= kCleanMatch ? 1 : 0;
        expected = found.lag + kBlock;
        const double recorded = static_cast<double>(at) / kRate;
        const double musicTime = static_cast<double>(found.lag) / kRate;
        const std::optional<double> position = PositionAt(reads, recordingStart + recorded);
        heard.push_back({recorded, musicTime, position ? musicTime - *position : std::nan("")});
    }
    if (heard.empty()) {
        std::printf("no quarter second matched the music\n");
        return 1;
    }
    const Heard& first = heard.front();
    // The quarter seconds start where the sound does, so the first one that
    // matched tells the music time of the first sound if it is the first.
    const double intoSound = first.recorded - static_cast<double>(soundStart) / kRate;
    const auto moved = std::find_if(reads.begin(), reads.end(), [](const Read& read) { return read.position > 0; });
    std::printf("the sound began at music time %.3f s%s; the position first moved %+.0f ms from the sound's start\n",
                first.music - intoSound, intoSound > 0 ? " (its first quarter second unmatched)" : "",
                moved == reads.end() ? 0.0
                                     : (moved->wall - recordingStart - static_cast<double>(soundStart) / kRate) * 1e3);
    std::printf("heard - position (ms) at seconds after the first sound:");
    for (const double point : {0.0, 0.5, 1.0, 2.0, 4.0, 8.0, 11.0, 1e9}) {
        const auto at = std::find_if(heard.begin(), heard.end(), [&](const Heard& h) {
            return h.recorded - first.recorded >= point && !std::isnan(h.offset);
        });
        const auto last =
            std::find_if(heard.rbegin(), heard.rend(), [](const Heard& h) { return !std::isnan(h.offset); });
        const Heard* pick =
            point > 1e8 ? (last == heard.rend() ? nullptr : &*last) : (at == heard.end() ? nullptr : &*at);
        if (pick != nullptr) {
            std::printf(" %s%.1f: %+.0f", point > 1e8 ? "end " : "", pick->recorded - first.recorded,
                        pick->offset * 1e3);
        }
    }
    double low = 1e9;
    double high = -1e9;
    double sum = 0;
    int counted = 0;
    for (const Heard& h : heard) {
        if (h.recorded - first.recorded >= 1.0 && !std::isnan(h.offset)) {
            low = std::min(low, h.offset);
            high = std::max(high, h.offset);
            sum += h.offset;
            ++counted;
        }
    }
    std::printf("\n");
    std::vector<double> offsets;
    for (const Heard& h : heard) {
        if (h.recorded - first.recorded >= 1.0 && !std::isnan(h.offset)) {
            offsets.push_back(h.offset);
        }
    }
    if (!offsets.empty()) {
        // Robust to the few quarter seconds a gap of a busy machine moved.
        std::nth_element(offsets.begin(), offsets.begin() + static_cast<std::ptrdiff_t>(offsets.size() / 2),
                         offsets.end());
        std::printf("from 1 s after the first sound: heard - position median %+.1f ms\n",
                    offsets[offsets.size() / 2] * 1e3);
    }
    if (counted > 0) {
        std::printf(
            "from 1 s after the first sound: heard - position mean %+.1f ms, from %+.1f to %+.1f ms (%d points)\n",
            sum / counted * 1e3, low * 1e3, high * 1e3, counted);
    }
    std::printf("quarter seconds: %zu matched (%d of them cleanly), %d silent, %d jumps in the music heard\n",
                heard.size(), clean, silent, jumps);

    // The position against the wall clock from 5 s after it first moved: a straight-line fit.
    std::vector<Read> settled;
    if (moved != reads.end()) {
        std::copy_if(moved, reads.end(), std::back_inserter(settled),
                     [&](const Read& read) { return read.wall >= moved->wall + 5.0; });
    }
    if (settled.size() > 10) {
        double meanWall = 0;
        double meanPosition = 0;
        for (const Read& read : settled) {
            meanWall += read.wall - settled.front().wall;
            meanPosition += read.position;
        }
        meanWall /= static_cast<double>(settled.size());
        meanPosition /= static_cast<double>(settled.size());
        double covariance = 0;
        double variance = 0;
        for (const Read& read : settled) {
            const double w = read.wall - settled.front().wall - meanWall;
            covariance += w * (read.position - meanPosition);
            variance += w * w;
        }
        const double rate = covariance / variance;
        double squares = 0;
        double worst = 0;
        for (const Read& read : settled) {
            const double error = read.position - meanPosition - rate * (read.wall - settled.front().wall - meanWall);
            squares += error * error;
            worst = std::max(worst, std::fabs(error));
        }
        std::printf("position from 5 s on: rate %.4f of the wall clock, sd %.2f ms, worst %.2f ms about its line\n",
                    rate, std::sqrt(squares / static_cast<double>(settled.size())) * 1e3, worst * 1e3);
    }
    return 0;
}

// The loudness of each 2.5 ms of a signal: it keeps its shape through the
// drops of a starved player, which break a match of the waveform itself.
constexpr std::size_t kEnvelopeBin = 110;
std::vector<double> Envelope(const std::vector<float>& samples, std::size_t from, std::size_t to)
{
    std::vector<double> bins;
    for (std::size_t at = from; at + kEnvelopeBin <= to; at += kEnvelopeBin) {
        double sum = 0;
        for (std::size_t i = at; i < at + kEnvelopeBin; ++i) {
            sum += double(samples[i]) * samples[i];
        }
        bins.push_back(std::sqrt(sum / kEnvelopeBin));
    }
    return bins;
}

// Where in `signal` (from bin `first` to `last`) `shape` fits best, by normalised correlation.
Found BestFit(const std::vector<double>& shape, const std::vector<double>& signal, std::size_t first, std::size_t last)
{
    Found best;
    const double shapeMean = std::accumulate(shape.begin(), shape.end(), 0.0) / static_cast<double>(shape.size());
    last = std::min(last, signal.size() >= shape.size() ? signal.size() - shape.size() : 0);
    for (std::size_t lag = first; lag <= last && lag + shape.size() <= signal.size(); ++lag) {
        const auto piece = signal.begin() + static_cast<std::ptrdiff_t>(lag);
        const double mean = std::accumulate(piece, piece + static_cast<std::ptrdiff_t>(shape.size()), 0.0) /
                            static_cast<double>(shape.size());
        double dot = 0;
        double shapeSquares = 0;
        double squares = 0;
        for (std::size_t i = 0; i < shape.size(); ++i) {
            dot += (shape[i] - shapeMean) * (piece[static_cast<std::ptrdiff_t>(i)] - mean);
            shapeSquares += (shape[i] - shapeMean) * (shape[i] - shapeMean);
            squares += (piece[static_cast<std::ptrdiff_t>(i)] - mean) * (piece[static_cast<std::ptrdiff_t>(i)] - mean);
        }
        const double correlation = shapeSquares > 0 && squares > 0 ? dot / std::sqrt(shapeSquares * squares) : 0;
        if (correlation > best.correlation) {
            best = {lag, correlation};
        }
    }
    return best;
}

// A looping player's seam as heard: where in the recording the music's last
// second and first second, one after the other, fit best, by their
// loudness; and the distance from the end of its last half second to the
// start of its first, each fitted alone there (0 for a seamless loop). Of a
// passage repeated, the second before `to` and the second from `from`.
int Seam(const char* musicPath, const char* recordingPath, double recordingStart, double from, double to)
{
    const std::vector<float> music = LoadMono(musicPath);
    const std::vector<float> recording = LoadMono(recordingPath);
    const auto second = static_cast<std::size_t>(kRate);
    const auto passageEnd = to > 0 ? std::min(music.size(), static_cast<std::size_t>(to * kRate)) : music.size();
    const auto passageStart = static_cast<std::size_t>(std::max(0.0, from) * kRate);
    if (passageEnd < second || passageStart + second > music.size() || recording.size() < 2 * second) {
        std::printf("nothing to match\n");
        return 1;
    }
    const std::vector<double> heard = Envelope(recording, 0, recording.size());
    std::vector<double> seam = Envelope(music, passageEnd - second, passageEnd);
    const std::size_t secondBins = seam.size();
    const std::vector<double> start = Envelope(music, passageStart, passageStart + second);
    seam.insert(seam.end(), start.begin(), start.end());
    const Found both = BestFit(seam, heard, 0, heard.size());
    const std::size_t at = both.lag + secondBins;  // the bin where the music starts again
    const std::size_t around = secondBins / 4;
    const std::vector<double> endHalf(seam.begin() + static_cast<std::ptrdiff_t>(secondBins / 2),
                                      seam.begin() + static_cast<std::ptrdiff_t>(secondBins));
    const std::vector<double> startHalf(start.begin(), start.begin() + static_cast<std::ptrdiff_t>(secondBins / 2));
    const std::size_t endFrom = at > endHalf.size() + around ? at - endHalf.size() - around : 0;
    const Found end = BestFit(endHalf, heard, endFrom, endFrom + 2 * around);
    const Found begin = BestFit(startHalf, heard, at > around ? at - around : 0, at + around);
    constexpr double kBinSeconds = static_cast<double>(kEnvelopeBin) / kRate;
    std::printf("seam %.0f correlation %.3f gap %+.1f ms\n",
                (recordingStart + static_cast<double>(at) * kBinSeconds) * 1e6, both.correlation,
                (static_cast<double>(begin.lag) - static_cast<double>(end.lag + endHalf.size())) * kBinSeconds * 1e3);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "play") == 0) {
        return Play(argv[2], std::atof(argv[3]));
    }
    if ((argc == 4 || argc == 6) && std::strcmp(argv[1], "device") == 0) {
        return PlayOnDevice(argv[2], std::atof(argv[3]), argc == 6 ? std::strtoul(argv[4], nullptr, 10) : SIZE_MAX,
                            argc == 6 ? std::strtoul(argv[5], nullptr, 10) : 0);
    }
    if (argc == 6 && std::strcmp(argv[1], "match") == 0) {
        return Match(argv[2], argv[3], argv[4], std::atof(argv[5]) / 1e6);
    }
    if ((argc == 5 || argc == 7) && std::strcmp(argv[1], "seam") == 0) {
        return Seam(argv[2], argv[3], std::atof(argv[4]) / 1e6, argc == 7 ? std::atof(argv[5]) : 0.0,
                    argc == 7 ? std::atof(argv[6]) : 0.0);
    }
    std::printf("usage: av_alignment play FILE SECONDS | match MUSIC RECORDING POSITIONS START-US |"
                " seam MUSIC RECORDING START-US [FROM TO]\n");
    return 2;
}
