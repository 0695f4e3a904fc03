// The decoded stretch of a stream between what has been heard and what has
// been decoded, addressed by byte offsets from the stream's start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

class PcmQueue {
public:
    // Offset of the first byte held, and one past the last.
    std::uint64_t Begin() const { return begin; }
    std::uint64_t End() const { return end; }
    std::size_t HeldBytes() const { return static_cast<std::size_t>(end - begin); }

    void Append(std::vector<std::uint8_t> chunk);
    // Copies up to `bytes` bytes from offset `from` (not before Begin()); returns how many it copied.
    std::size_t CopyOut(std::uint64_t from, std::uint8_t* target, std::size_t bytes) const;
    // Lets go of whole chunks that end at or before `offset`.
    void DropBefore(std::uint64_t offset);
    // Lets go of everything; what is appended next starts at `offset`.
    void Reset(std::uint64_t offset);

private:
    std::deque<std::vector<std::uint8_t>> chunks;
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
};
