// The fallback for files whose layout the probe cannot read: decodes the
// whole file through Media Foundation into 16-bit PCM when it is opened, and
// serves the result from memory. No Media Foundation decoder is left running:
// under Wine its threads crash the process's exit.
#pragma once

#include "audio/pcm_source.h"

#include <cstdint>
#include <memory>
#include <string>

// Decoding stops with failure past this much PCM (about 100 minutes of
// 44.1 kHz stereo), so an absurd file cannot take all the memory.
inline constexpr std::uint64_t kMaxDecodedBytes = std::uint64_t{1} << 30;

// Decodes the whole file at `path` (absolute or relative to the working
// directory) on a thread of its own, so the caller's COM apartment, if any,
// does not matter. On failure `out` is left empty and the result is false: a
// missing, empty, unreadable or non-audio file, one that fails to decode
// anywhere, or one that decodes to no samples.
bool DecodeAudioFile(const std::wstring& path, PcmAudio& out, std::uint64_t maxBytes = kMaxDecodedBytes);

// A source serving a decoded piece.
std::unique_ptr<PcmSource> MakeMemorySource(std::shared_ptr<const PcmAudio> audio);
