#include "audio/pcm_queue.h"

#include <algorithm>
#include <cstring>
#include <utility>

void PcmQueue::Append(std::vector<std::uint8_t> chunk)
{
    if (chunk.empty()) {
        return;
    }
    end += chunk.size();
    chunks.push_back(std::move(chunk));
}

std::size_t PcmQueue::CopyOut(std::uint64_t from, std::uint8_t* target, std::size_t bytes) const
{
    if (from < begin || from >= end) {
        return 0;
    }
    std::size_t copied = 0;
    std::uint64_t chunkStart = begin;
    for (const std::vector<std::uint8_t>& chunk : chunks) {
        const std::uint64_t chunkEnd = chunkStart + chunk.size();
        if (copied == bytes) {
            break;
        }
        if (from + copied < chunkEnd) {
            const auto inChunk = static_cast<std::size_t>(from + copied - chunkStart);
            const std::size_t count = std::min(bytes - copied, chunk.size() - inChunk);
            std::memcpy(target + copied, chunk.data() + inChunk, count);
            copied += count;
        }
        chunkStart = chunkEnd;
    }
    return copied;
}

void PcmQueue::DropBefore(std::uint64_t offset)
{
    while (!chunks.empty() && begin + chunks.front().size() <= offset) {
        begin += chunks.front().size();
        chunks.pop_front();
    }
}

void PcmQueue::Reset(std::uint64_t offset)
{
    chunks.clear();
    begin = offset;
    end = offset;
}
