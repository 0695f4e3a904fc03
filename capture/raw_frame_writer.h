#pragma once

#include "capture/captured_frame.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

// Writes frames as raw BGRA, rows packed, one after another, to a file or to
// standard output (which is usually a pipe into an encoder). A file that was
// not closed as complete is deleted, however the capture ended.
class RawFrameWriter {
public:
    // "-" is standard output; anything else a file (UTF-8 name), created or
    // emptied by Open.
    explicit RawFrameWriter(std::string path);
    // Discards what was not closed.
    ~RawFrameWriter();
    RawFrameWriter(const RawFrameWriter&) = delete;
    RawFrameWriter& operator=(const RawFrameWriter&) = delete;

    [[nodiscard]] std::optional<std::string> Open();
    [[nodiscard]] std::optional<std::string> Write(const CapturedFrame& frame);
    // Closes the file as complete, the problem when its last bytes could not
    // be stored (it is deleted then).
    [[nodiscard]] std::optional<std::string> Close();
    // Closes and deletes a file left incomplete; standard output is left alone.
    void Discard();

private:
    [[nodiscard]] std::optional<std::string> WriteAll(const std::uint8_t* bytes, std::size_t size);

    std::string path;
    HANDLE handle = INVALID_HANDLE_VALUE;
    bool ownsHandle = false;
    std::vector<std::uint8_t> packed;
};
