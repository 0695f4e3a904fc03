// The decoded stretch of a stream around what is heard: what was heard lately,
// kept for a seek back (StreamDecoder says how much), and what is decoded
// ahead, addressed by byte offsets from the stream's start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

class PcmQueue {
public:
    // Offset of the first byte held, and one past the last.
    std::uint64_t Begin() const { return chunks.empty() ? end : chunks.front().start; }
    std::uint64_t End() const { return end; }
    std::size_t HeldBytes() const { return static_cast<std::size_t>(End() - Begin()); }

    void Append(std::vector<std::uint8_t> chunk);
    // Copies up to `bytes` bytes from offset `from` (not before Begin()); returns
    // how many it copied. Its cost does not grow with what is held before `from`.
    std::size_t CopyOut(std::uint64_t from, std::uint8_t* target, std::size_t bytes) const;
    // Lets go of whole chunks that end at or before `offset`.
    void DropBefore(std::uint64_t offset);
    // Lets go of everything; what is appended next starts at `offset`.
    void Reset(std::uint64_t offset);

private:
    struct Chunk {
        std::uint64_t start = 0;
        std::vector<std::uint8_t> bytes;
    };

    std::deque<Chunk> chunks;
    std::uint64_t end = 0;
};
