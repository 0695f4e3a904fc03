// A looping stream's source, read directly.
#include "audio/looping_source.h"
#include "tests/audio/playback_fakes.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <vector>

namespace {

// Reads a looping source until `bytes` have come or it stops; the reading ends with its last result.
std::vector<std::uint8_t> ReadLooping(const SourceOpener& open, std::uint64_t bytes, ReadResult& last)
{
    std::vector<std::uint8_t> read;
    const std::unique_ptr<PcmSource> source = open().source;
    std::vector<std::uint8_t> chunk;
    last = ReadResult::Data;
    while (read.size() < bytes && (last = source->Read(chunk)) == ReadResult::Data) {
        read.insert(read.end(), chunk.begin(), chunk.end());
    }
    return read;
}

// Each pass is the stream's stated length exactly, whatever its source gives,
// so that a position modulo that length is the position in the pass.
TEST(LoopingSource, PlaysEachPassFromTheStartCutOrFilledToTheStatedLength)
{
    const auto tone = Tone(8000, 1, 0.5);
    const std::uint64_t size = tone->bytes.size();
    for (const std::uint64_t pass : {size, size - 1000, size + 1000}) {
        ReadResult last = ReadResult::End;
        const std::vector<std::uint8_t> read = ReadLooping(LoopingOpener(OpenTone(tone), pass), 3 * pass, last);
        ASSERT_EQ(read.size(), 3 * pass);
        std::vector<std::uint8_t> expected(tone->bytes.begin(),
                                           tone->bytes.begin() + static_cast<std::ptrdiff_t>(std::min(pass, size)));
        expected.resize(pass, 0);
        for (std::uint64_t start = 0; start < read.size(); start += pass) {
            EXPECT_TRUE(std::equal(expected.begin(), expected.end(), read.begin() + static_cast<std::ptrdiff_t>(start)))
                << pass << " at " << start;
        }
    }
    // A decoding error ends the stream there, and a source with nothing in it ends at once.
    ReadResult last = ReadResult::Data;
    EXPECT_EQ(ReadLooping(LoopingOpener(OpenTone(tone, 1000), size), 3 * size, last).size(), 1000u);
    EXPECT_EQ(last, ReadResult::Error);
    EXPECT_TRUE(ReadLooping(LoopingOpener(OpenTone(Tone(8000, 1, 0.0)), size), size, last).empty());
    EXPECT_EQ(last, ReadResult::End);
}

}  // namespace
