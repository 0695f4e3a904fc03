// A whole piece of decoded sound: interleaved signed 16-bit samples.
#pragma once

#include <cstdint>
#include <vector>

struct PcmAudio {
    uint32_t sampleRate = 0;
    uint16_t channels = 0;
    std::vector<uint8_t> bytes;

    uint32_t BlockAlign() const { return channels * 2u; }
    uint64_t BytesPerSecond() const { return uint64_t{sampleRate} * BlockAlign(); }
    bool IsValid() const { return sampleRate > 0 && channels > 0 && !bytes.empty(); }
};
