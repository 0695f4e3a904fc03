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

struct FileLayout {
    Container container = Container::Wav;
    StreamInfo info;
    std::uint64_t dataOffset = 0;  // WAV: the first sample; MP3: the first frame after the tag frame
    std::uint64_t dataBytes = 0;   // from dataOffset: the samples present, or the rest of the file
    std::uint64_t skipFrames = 0;  // MP3: decoded frames before the music (encoder and decoder delay)
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
