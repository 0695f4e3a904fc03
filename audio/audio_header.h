// Reads the format, the exact decoded length and the layout of a sound file
// from its first bytes, so a stream can be opened without decoding it. Knows
// 16-bit PCM WAV and MP3 with an encoder's gapless tag (what LAME writes);
// any other file is left to Media Foundation. No file or system calls: the
// bytes come from the caller.
#pragma once

#include "audio/pcm_source.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

enum class Container { Wav, Mp3 };

// How an MP3 stream pads its frames to whole bytes.
enum class Mp3Padding {
    Iso,     // now and then, as the standard says, where a frame's length in bytes is not whole
    Never,   // frames of a whole length, none padded
    Always,  // frames of a whole length, every one padded
};

// What an MP3 decoder is told of the stream, from its first frame's header.
struct Mp3StreamFormat {
    std::uint32_t bytesPerSecond = 0;  // the bit rate / 8; over the whole file where the rate varies
    std::uint16_t frameBytes = 0;      // the first frame's length, its padding byte included
    Mp3Padding padding = Mp3Padding::Iso;
    std::uint16_t codecDelay = 0;  // samples the encoder put before the music
};

struct FileLayout {
    Container container = Container::Wav;
    StreamInfo info;
    std::uint64_t dataOffset = 0;  // WAV: the first sample; MP3: the first frame after the tag frame
    std::uint64_t dataBytes = 0;   // from dataOffset: the samples present, or the rest of the file
    std::uint64_t skipFrames = 0;  // MP3: decoded frames before the music (encoder and decoder delay)
    Mp3StreamFormat mp3;           // MP3 only
};

// Bytes of an ID3v2 tag at the start of `head`, 0 when there is none.
std::uint64_t Id3TagBytes(std::span<const std::uint8_t> head);

// `head` holds the first bytes of a file of `fileSize` bytes, starting at
// `offset` (0, or past an ID3v2 tag for MP3). An MP3 whose tag frame is
// followed, within `head`, by anything but a frame of the same stream is not
// known.
std::optional<FileLayout> ProbeAudioHeader(std::span<const std::uint8_t> head, std::uint64_t offset,
                                           std::uint64_t fileSize);

// Up to `bytes` bytes of the file from `offset`; fewer at its end, none when it cannot be read.
using HeadReader = std::function<std::vector<std::uint8_t>(std::uint64_t offset, std::size_t bytes)>;

// Probes a file of `fileSize` bytes from its head, or from past its ID3v2 tag.
std::optional<FileLayout> ProbeAudioHead(const HeadReader& readHead, std::uint64_t fileSize);
