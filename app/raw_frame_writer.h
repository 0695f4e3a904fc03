#pragma once

#include "app/frame_capture.h"

#include <windows.h>

#include <string>
#include <vector>

// Writes frames as raw BGRA, rows packed, one after another, to a file or to
// standard output (which is usually a pipe into an encoder).
class RawFrameWriter {
public:
    // "-" is standard output; anything else a file, created or emptied.
    explicit RawFrameWriter(const std::string& path);
    ~RawFrameWriter();
    RawFrameWriter(const RawFrameWriter&) = delete;
    RawFrameWriter& operator=(const RawFrameWriter&) = delete;

    bool IsOpen() const { return handle != INVALID_HANDLE_VALUE && handle != nullptr; }
    bool Write(const CapturedFrame& frame);
    // Closes and deletes a file left incomplete; standard output is left alone.
    void Discard();

    DWORD lastError = ERROR_SUCCESS;  // of the open or write that failed

private:
    bool WriteAll(const std::uint8_t* bytes, std::size_t size);

    std::string path;
    HANDLE handle = INVALID_HANDLE_VALUE;
    bool ownsHandle = false;
    std::vector<std::uint8_t> packed;
};
