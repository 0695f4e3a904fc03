// A looping stream's source: the stream's own source opened again each time
// a pass of it ends, so that decoding never ends. Every pass is exactly the
// stream's stated length, so a position taken modulo that length is the
// position within the current pass.
#pragma once

#include "audio/pcm_source.h"

#include <cstdint>

// An opener of sources that play `open`'s source again and again, each pass
// cut or filled with silence to `passBytes`. A pass that fails to decode ends
// the stream there, as without looping, and so does a pass with nothing in it.
SourceOpener LoopingOpener(SourceOpener open, std::uint64_t passBytes);

// The stated length of a looping stream: more than any run will play, and far
// from the end of the 64-bit positions that count it.
inline constexpr std::uint64_t kLoopingStreamBytes = std::uint64_t{1} << 62;
