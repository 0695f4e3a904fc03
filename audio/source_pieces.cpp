#include "audio/source_pieces.h"

#include <algorithm>

bool PieceReader::Next(std::vector<std::uint8_t>& piece, const ReadFunction& read)
{
    piece.resize(static_cast<std::size_t>(std::min<std::uint64_t>(step, left)));
    std::size_t got = 0;
    if (!piece.empty() && !read(piece, got)) {
        return false;
    }
    piece.resize(got);
    left -= got;
    if (got == 0) {
        left = 0;  // the file is shorter than its header said
    }
    return true;
}

bool DecodedTrim::Take(std::span<const std::uint8_t> decoded, std::vector<std::uint8_t>& chunk)
{
    const std::uint64_t skipped = std::min<std::uint64_t>(skip, decoded.size());
    skip -= skipped;
    const std::uint64_t count = std::min<std::uint64_t>(decoded.size() - skipped, left);
    left -= count;
    const std::span<const std::uint8_t> music =
        decoded.subspan(static_cast<std::size_t>(skipped), static_cast<std::size_t>(count));
    chunk.assign(music.begin(), music.end());
    return !chunk.empty();
}
