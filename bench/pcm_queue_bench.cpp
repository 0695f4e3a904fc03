// What one fill of the device costs the feeding thread inside the queue's
// lock: a copy of 10 ms (one device period) from the place heard, with 0, 1,
// 6 and 12 MiB of what was heard kept before it and 4 s decoded after it, in
// the 4608-byte pieces an MP3 decoder hands out. Prints the best of 15
// rounds, in microseconds a fill.
//   pcm_queue_bench
#include "audio/pcm_queue.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

// NOLINTNEXTLINE(cppcoreguidelines-avoid-non-const-global-variables): a store the optimiser cannot drop.
volatile std::uint8_t sink;

constexpr std::size_t kPiece = 4608;
constexpr std::uint64_t kBytesPerSecond = 176400;

double BestMicrosecondsPerFill(std::uint64_t kept)
{
    PcmQueue queue;
    const std::uint64_t held = kept + 4 * kBytesPerSecond;
    for (std::uint64_t at = 0; at < held; at += kPiece) {
        queue.Append(std::vector<std::uint8_t>(kPiece, static_cast<std::uint8_t>(at)));
    }
    std::vector<std::uint8_t> fill(kBytesPerSecond / 100);
    constexpr int kFills = 2000;
    double best = 1e30;
    for (int round = 0; round < 15; ++round) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kFills; ++i) {
            // From the place heard, a little further each time, as playback goes.
            const std::uint64_t from = kept + (static_cast<std::uint64_t>(i) * 4 % kBytesPerSecond);
            queue.CopyOut(from, fill.data(), fill.size());
            sink = fill[static_cast<std::size_t>(i) % fill.size()];
        }
        const auto stop = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double, std::micro>(stop - start).count() / kFills);
    }
    return best;
}

}  // namespace

int main()
{
    for (const std::uint64_t mib : {0, 1, 6, 12}) {
        std::printf("%2llu MiB kept: %.2f us a fill\n", static_cast<unsigned long long>(mib),
                    BestMicrosecondsPerFill(mib << 20));
    }
    return 0;
}
