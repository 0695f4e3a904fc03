// Decoded sound as the library's thread pulls it: interleaved signed 16-bit
// samples, one piece at a time, from a source that may end or fail early.
#pragma once

#include <compare>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct PcmFormat {
    std::uint32_t sampleRate = 0;
    std::uint16_t channels = 0;

    std::uint32_t BlockAlign() const { return channels * 2u; }
    std::uint64_t BytesPerSecond() const { return std::uint64_t{sampleRate} * BlockAlign(); }
    bool IsValid() const { return sampleRate > 0 && channels > 0; }
    bool operator==(const PcmFormat&) const = default;
};

// What is known of a stream before decoding it: its format and its length in bytes.
struct StreamInfo {
    PcmFormat format;
    std::uint64_t lengthBytes = 0;
};

enum class ReadResult {
    Data,   // the next piece is in the chunk
    End,    // the stream ended normally; the chunk is empty
    Error,  // decoding failed here; nothing after this point can be trusted
};

class PcmSource {
public:
    virtual ~PcmSource() = default;

    virtual PcmFormat Format() const = 0;
    // Replaces `chunk` with the next piece of the stream.
    virtual ReadResult Read(std::vector<std::uint8_t>& chunk) = 0;
};

// What opening a stream's source gave: the source, or why there is none.
struct OpenedSource {
    std::unique_ptr<PcmSource> source;
    // Without a source: true when the system has no decoder that takes the
    // file (Windows' N editions have none for MP3), false when the file
    // cannot be read.
    bool noDecoder = false;
};

// Called on the library's thread, inside COM's multithreaded apartment.
using SourceOpener = std::function<OpenedSource()>;

// A whole piece of decoded sound.
struct PcmAudio {
    PcmFormat format;
    std::vector<std::uint8_t> bytes;

    bool IsValid() const { return format.IsValid() && !bytes.empty(); }
};
