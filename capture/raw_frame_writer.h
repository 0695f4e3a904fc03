#pragma once

#include "capture/captured_frame.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

// Writes frames as raw BGRA, rows packed, one after another, to a file or to
// standard output (which is usually a pipe into an encoder).
class RawFrameWriter {
public:
    // "-" is standard output; anything else a file, created or emptied by Open.
    explicit RawFrameWriter(std::string path);
    ~RawFrameWriter();
    RawFrameWriter(const RawFrameWriter&) = delete;
    RawFrameWriter& operator=(const RawFrameWriter&) = delete;

    [[nodiscard]] std::optional<std::string> Open();
    [[nodiscard]] std::optional<std::string> Write(const CapturedFrame& frame);
    // Closes and deletes a file left incomplete; standard output is left alone.
    void Discard();

private:
    [[nodiscard]] std::optional<std::string> WriteAll(const std::uint8_t* bytes, std::size_t size);

    std::string path;
    HANDLE handle = INVALID_HANDLE_VALUE;
    bool ownsHandle = false;
    std::vector<std::uint8_t> packed;
};
