// The audio header probe applied to a file on disk.
#pragma once

#include "audio/audio_header.h"

#include <optional>
#include <string>

// Reads the head of the file at `fullPath` and probes it.
std::optional<FileLayout> ProbeAudioFile(const std::wstring& fullPath);
