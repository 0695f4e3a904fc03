#pragma once

#include "capture/captured_frame.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

// Writes each frame as FOLDER\frame_NNNNNN.png through the imaging
// component's PNG encoder, opaque 24-bit colour. A frame that fails partway
// leaves no file.
class PngFrameWriter {
public:
    // The folder's name in UTF-8.
    explicit PngFrameWriter(std::string folder);

    // Makes the folder if missing; the problem when it cannot be made or
    // already holds frames that new ones would mix with.
    [[nodiscard]] std::optional<std::string> Prepare();
    [[nodiscard]] std::optional<std::string> Write(const CapturedFrame& frame);

    static std::string FileName(std::uint64_t index);

private:
    HRESULT Encode(const CapturedFrame& frame, const std::wstring& path);

    std::string folder;
    std::vector<std::uint8_t> rgb;  // the frame without its alpha, kept for the next
};
