// Any sound file, streamed the way the file sources stream it once the probe
// accepted it: WAV samples read straight from the file in pieces, MP3 frames
// read in pieces and their decoded sound cut to the music. No decoder runs
// here: each piece stands for as many decoded frames as its first byte
// says, which covers the ways a decoder may split its output.
#include "audio/audio_header.h"
#include "audio/source_pieces.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/memory_file.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const FuzzedFile file = FileFromInput(data, size);
    const std::optional<FileLayout> layout = ProbeAudioHead(file.Reader(), file.size);
    if (!layout) {
        return 0;
    }
    // Small pieces of a size the input chooses, so a small file still takes many.
    const std::size_t step = 1 + size % 61;
    std::span<const std::uint8_t> rest = file.From(layout->dataOffset);
    PieceReader reader(layout->dataBytes, step);
    const auto readFile = [&](std::span<std::uint8_t> into, std::size_t& read) {
        read = std::min(into.size(), rest.size());
        std::copy_n(rest.begin(), read, into.begin());
        rest = rest.subspan(read);
        return true;
    };

    const std::uint32_t frameBytes = layout->info.format.BlockAlign();
    const std::uint64_t skip = layout->skipFrames * frameBytes;
    DecodedTrim trim(skip, layout->info.lengthBytes);
    std::uint64_t readBytes = 0;
    std::uint64_t decodedBytes = 0;
    std::uint64_t musicBytes = 0;
    std::vector<std::uint8_t> piece;
    std::vector<std::uint8_t> decoded;
    std::vector<std::uint8_t> chunk;
    while (reader.Next(piece, readFile) && !piece.empty()) {
        Require(piece.size() <= step, "a piece is at most one step");
        readBytes += piece.size();
        if (layout->container == Container::Mp3 && !trim.Done()) {
            // Each decoded byte tells its position, so the cut shows where it fell.
            decoded.resize(piece[0] % 8 * 32 * std::size_t{frameBytes});
            for (std::uint8_t& byte : decoded) {
                byte = static_cast<std::uint8_t>(decodedBytes++ % 251);
            }
            if (trim.Take(decoded, chunk)) {
                const std::uint64_t at = skip + musicBytes;
                Require(chunk.front() == at % 251 && chunk.back() == (at + chunk.size() - 1) % 251,
                        "the music starts past the delay and runs on without a gap");
                musicBytes += chunk.size();
            }
        }
    }
    Require(readBytes <= layout->dataBytes, "no piece goes past the stated data");
    if (layout->container == Container::Wav) {
        const std::uint64_t present = file.From(layout->dataOffset).size();
        Require(readBytes == std::min(layout->info.lengthBytes, present), "every WAV sample present is read");
    } else {
        const std::uint64_t expected = decodedBytes > skip ? decodedBytes - skip : 0;
        Require(musicBytes == std::min(expected, layout->info.lengthBytes),
                "the music is the decoded sound less the delay, up to the stated length");
    }
    return 0;
}
