// Sources that stream a file whose layout the probe has read: WAV samples
// straight from the file, MP3 frames through the system's MP3 decoder
// object. Neither holds more than a small piece of the file, and neither
// leaves threads of its own running, so a process may end while one is open.
#pragma once

#include "audio/audio_file_probe.h"
#include "audio/pcm_source.h"

#include <windows.h>
#include <mediaobj.h>

#include <string>

// Makes an MP3 decoder object into `decoder`.
using Mp3DecoderMaker = HRESULT (*)(IMediaObject** decoder);

// The system's MP3 decoder object; fails where Windows has none.
HRESULT MakeSystemMp3Decoder(IMediaObject** decoder);

// The file's source. Without one, noDecoder is set when no MP3 decoder can be
// made or none takes the stream, and not when the file cannot be read. Needs
// COM on the calling thread.
OpenedSource OpenFileSource(const std::wstring& fullPath, const FileLayout& layout,
                            Mp3DecoderMaker makeDecoder = MakeSystemMp3Decoder);
