#include "audio/pcm_queue.h"

#include <algorithm>
#include <cstring>
#include <utility>

void PcmQueue::Append(std::vector<std::uint8_t> chunk)
{
    if (chunk.empty()) {
        return;
    }
    const std::uint64_t start = end;
    end += chunk.size();
    chunks.push_back({.start = start, .bytes = std::move(chunk)});
}

std::size_t PcmQueue::CopyOut(std::uint64_t from, std::uint8_t* target, std::size_t bytes) const
{
    if (from < Begin() || from >= end) {
        return 0;
    }
    // The chunk that holds `from`, found by halving: a fill near the end of
    // megabytes kept in small chunks must not walk them all.
    auto chunk =
        std::ranges::partition_point(chunks, [from](const Chunk& c) { return c.start + c.bytes.size() <= from; });
    std::size_t copied = 0;
    for (; chunk != chunks.end() && copied < bytes; ++chunk) {
        const auto inChunk = static_cast<std::size_t>(from + copied - chunk->start);
        const std::size_t count = std::min(bytes - copied, chunk->bytes.size() - inChunk);
        std::memcpy(target + copied, chunk->bytes.data() + inChunk, count);
        copied += count;
    }
    return copied;
}

void PcmQueue::DropBefore(std::uint64_t offset)
{
    while (!chunks.empty() && chunks.front().start + chunks.front().bytes.size() <= offset) {
        chunks.pop_front();
    }
}

void PcmQueue::Reset(std::uint64_t offset)
{
    chunks.clear();
    end = offset;
}
