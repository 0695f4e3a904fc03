#pragma once

#include "app/frame_capture.h"

#include <windows.h>

#include <string>
#include <vector>

// Writes each frame as FOLDER\frame_NNNNNN.png through the imaging
// component's PNG encoder, opaque 24-bit colour.
class PngFrameWriter {
public:
    explicit PngFrameWriter(std::string folder);

    // Makes the folder if missing; false, with `problem` set, when it cannot
    // be made or already holds frames that new ones would mix with.
    bool Prepare(std::string& problem);
    bool Write(const CapturedFrame& frame);

    static std::string FileName(std::uint64_t index);

    HRESULT lastResult = S_OK;  // of the write that failed

private:
    HRESULT Encode(const CapturedFrame& frame, const std::wstring& path);

    std::string folder;
    std::vector<std::uint8_t> row;
};
