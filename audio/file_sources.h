// Sources that stream a file whose layout the probe has read: WAV samples
// straight from the file, MP3 frames through the system's MP3 decoder
// object. Neither holds more than a small piece of the file, and neither
// leaves threads of its own running, so a process may end while one is open.
#pragma once

#include "audio/audio_file_probe.h"
#include "audio/pcm_source.h"

#include <memory>
#include <string>

// nullptr when the file or the decoder cannot be opened. Needs COM on the calling thread.
std::unique_ptr<PcmSource> OpenFileSource(const std::wstring& fullPath, const FileLayout& layout);
