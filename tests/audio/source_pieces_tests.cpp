#include "audio/source_pieces.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

namespace {

// Pieces of a reader over `file`, until the end or a read error.
std::vector<std::size_t> PieceSizes(PieceReader& reader, std::vector<std::uint8_t> file, bool failAfterFirst = false)
{
    std::size_t at = 0;
    int reads = 0;
    const PieceReader::ReadFunction read = [&](std::span<std::uint8_t> into, std::size_t& count) {
        if (failAfterFirst && reads++ > 0) {
            return false;
        }
        count = std::min(into.size(), file.size() - at);
        std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(at), count, into.begin());
        at += count;
        return true;
    };
    std::vector<std::size_t> sizes;
    std::vector<std::uint8_t> piece;
    while (reader.Next(piece, read) && !piece.empty()) {
        EXPECT_EQ(piece.front(), static_cast<std::uint8_t>(at - piece.size()));  // in order, none skipped
        sizes.push_back(piece.size());
    }
    return sizes;
}

TEST(SourcePieces, PiecesEndAtTheStatedLengthOrWhereTheFileEnds)
{
    std::vector<std::uint8_t> file(100);
    std::iota(file.begin(), file.end(), std::uint8_t{0});
    PieceReader whole(10, 4);
    EXPECT_EQ(PieceSizes(whole, file), (std::vector<std::size_t>{4, 4, 2}));

    // A file shorter than its header said ends the stream where it ends, and stays ended.
    PieceReader cut(10, 4);
    EXPECT_EQ(PieceSizes(cut, {file.begin(), file.begin() + 6}), (std::vector<std::size_t>{4, 2}));
    std::vector<std::uint8_t> piece{1};
    EXPECT_TRUE(cut.Next(piece, [](std::span<std::uint8_t>, std::size_t&) { return false; }));
    EXPECT_TRUE(piece.empty());

    PieceReader failing(10, 4);
    EXPECT_EQ(PieceSizes(failing, file, true), (std::vector<std::size_t>{4}));
}

TEST(SourcePieces, DecodedSoundLosesTheDelayAndThePadding)
{
    // 5 bytes of delay, 7 of music, then padding; the decoder hands over 3 bytes at a time.
    DecodedTrim trim(5, 7);
    std::vector<std::uint8_t> music;
    std::vector<std::uint8_t> chunk{99};
    std::vector<bool> taken;
    for (std::uint8_t first = 0; first < 18; first += 3) {
        const std::vector<std::uint8_t> decoded{first, static_cast<std::uint8_t>(first + 1),
                                                static_cast<std::uint8_t>(first + 2)};
        taken.push_back(trim.Take(decoded, chunk));
        music.insert(music.end(), chunk.begin(), chunk.end());
    }
    EXPECT_EQ(taken, (std::vector<bool>{false, true, true, true, false, false}));
    EXPECT_EQ(music, (std::vector<std::uint8_t>{5, 6, 7, 8, 9, 10, 11}));
    EXPECT_TRUE(trim.Done());
}

}  // namespace
