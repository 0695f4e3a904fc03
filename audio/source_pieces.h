// What the file sources do with the bytes they read, apart from reading
// them: a stretch of the file taken in pieces, and the decoded sound cut to
// the music that the header promised. No file or system calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

// Reads `bytes` bytes in pieces of at most `stepBytes` through the caller's
// read function, which fills the front of its span, sets how much it filled
// and returns false when the file cannot be read.
class PieceReader {
public:
    using ReadFunction = std::function<bool(std::span<std::uint8_t> into, std::size_t& read)>;

    PieceReader(std::uint64_t bytes, std::size_t stepBytes) : step(stepBytes), left(bytes) {}

    // The next piece, empty at the end; false when the file cannot be read.
    bool Next(std::vector<std::uint8_t>& piece, const ReadFunction& read);

private:
    std::size_t step;
    std::uint64_t left;
};

// Passes on decoded sound less `skipBytes` at the start (the encoder's and
// decoder's delay) and anything past `lengthBytes` (the encoder's padding).
class DecodedTrim {
public:
    DecodedTrim(std::uint64_t skipBytes, std::uint64_t lengthBytes) : skip(skipBytes), left(lengthBytes) {}

    // Replaces `chunk` with the part of `decoded` that is music; false when there is none.
    bool Take(std::span<const std::uint8_t> decoded, std::vector<std::uint8_t>& chunk);
    bool Done() const { return left == 0; }

private:
    std::uint64_t skip;
    std::uint64_t left;
};
