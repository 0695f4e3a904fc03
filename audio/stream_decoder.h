// Decodes a sound file through Media Foundation into 16-bit PCM.
#pragma once

#include "audio/pcm_audio.h"

#include <cstdint>
#include <string>

// Decoding stops with failure past this much PCM (about 100 minutes of
// 44.1 kHz stereo), so an absurd file cannot take all the memory.
inline constexpr std::uint64_t kMaxDecodedBytes = std::uint64_t{1} << 30;

// Decodes the whole file at `path` (absolute or relative to the working
// directory). Runs Media Foundation on a thread of its own, so the caller's
// COM apartment, if any, does not matter. On failure `out` is left empty and
// the result is false: a missing, empty, unreadable or non-audio file, or one
// that decodes to no samples.
bool DecodeAudioFile(const std::wstring& path, PcmAudio& out, std::uint64_t maxBytes = kMaxDecodedBytes);
