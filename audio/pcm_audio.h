// A whole piece of decoded sound: interleaved signed 16-bit samples.
#pragma once

#include <cstdint>
#include <vector>

struct PcmAudio {
    std::uint32_t sampleRate = 0;
    std::uint16_t channels = 0;
    std::vector<std::uint8_t> bytes;

    std::uint32_t BlockAlign() const { return channels * 2u; }
    std::uint64_t BytesPerSecond() const { return std::uint64_t{sampleRate} * BlockAlign(); }
    bool IsValid() const { return sampleRate > 0 && channels > 0 && !bytes.empty(); }
};
