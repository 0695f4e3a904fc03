// Reads the format and the exact decoded length of a sound file from its
// first bytes, so a stream can be opened without decoding it. Knows 16-bit
// PCM WAV and MP3 with an encoder's gapless tag (what LAME writes); any
// other file is left to the decoder.
#pragma once

#include "audio/pcm_source.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

// Bytes of an ID3v2 tag at the start of `head`, 0 when there is none.
std::uint64_t Id3TagBytes(std::span<const std::uint8_t> head);

// `head` holds the first bytes of a file of `fileSize` bytes, starting at
// `offset` (0, or past an ID3v2 tag for MP3).
std::optional<StreamInfo> ProbeAudioHeader(std::span<const std::uint8_t> head, std::uint64_t offset,
                                           std::uint64_t fileSize);

// Reads the head of the file at `fullPath` and probes it.
std::optional<StreamInfo> ProbeAudioFile(const std::wstring& fullPath);
