// A fuzzer's input as a sound file: the file's size (8 bytes, little-endian)
// as the system would report it, then the bytes a read finds from its start.
// A size beyond those bytes stands for a longer file of which the probe
// reads the head, or for a file cut while it is read.
#pragma once

#include "audio/audio_header.h"

#include <algorithm>
#include <span>

struct FuzzedFile {
    std::uint64_t size = 0;
    std::span<const std::uint8_t> bytes;

    // The bytes a read at `offset` finds.
    std::span<const std::uint8_t> From(std::uint64_t offset) const
    {
        return bytes.subspan(static_cast<std::size_t>(std::min<std::uint64_t>(offset, bytes.size())));
    }

    HeadReader Reader() const
    {
        return [this](std::uint64_t offset, std::size_t count) {
            const std::span<const std::uint8_t> rest = From(offset);
            const std::span<const std::uint8_t> head = rest.first(std::min(count, rest.size()));
            return std::vector<std::uint8_t>(head.begin(), head.end());
        };
    }
};

inline FuzzedFile FileFromInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedFile file;
    if (size < 8) {
        return file;
    }
    for (std::size_t i = 0; i < 8; ++i) {
        file.size |= std::uint64_t{data[i]} << (8 * i);
    }
    file.bytes = {data + 8, size - 8};
    return file;
}
