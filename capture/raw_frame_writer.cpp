#include "capture/raw_frame_writer.h"

#include "platform/unicode_text.h"

#include <algorithm>
#include <utility>

RawFrameWriter::RawFrameWriter(std::string path) : path(std::move(path))
{
}

RawFrameWriter::~RawFrameWriter()
{
    Discard();
}

std::optional<std::string> RawFrameWriter::Open()
{
    if (path == "-") {
        handle = GetStdHandle(STD_OUTPUT_HANDLE);
    } else {
        handle = CreateFileW(Utf16FromUtf8(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        ownsHandle = handle != INVALID_HANDLE_VALUE;
    }
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) {
        return "cannot open " + path + " for writing (error " + std::to_string(GetLastError()) + ")";
    }
    return std::nullopt;
}

std::optional<std::string> RawFrameWriter::Write(const CapturedFrame& frame)
{
    const std::size_t rowBytes = std::size_t(frame.width) * 4;
    if (frame.rowPitch == rowBytes) {
        return WriteAll(frame.pixels, rowBytes * frame.height);
    }
    // Rows padded by the device are packed first, so that each frame is one write.
    PackFrameRows(frame, packed);
    return WriteAll(packed.data(), packed.size());
}

std::optional<std::string> RawFrameWriter::WriteAll(const std::uint8_t* bytes, std::size_t size)
{
    // A pipe may take less than asked; a reader that has gone fails the call at once.
    while (size > 0) {
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(handle, bytes, chunk, &written, nullptr) || written == 0) {
            const DWORD error = GetLastError();
            const std::string code = " (error " + std::to_string(error) + ")";
            if (path == "-" &&
                (error == ERROR_NO_DATA || error == ERROR_PIPE_NOT_CONNECTED || error == ERROR_BROKEN_PIPE)) {
                return "the reader of standard output went away" + code;
            }
            return "cannot write " + (path == "-" ? std::string("standard output") : path) + code;
        }
        bytes += written;
        size -= written;
    }
    return std::nullopt;
}

std::optional<std::string> RawFrameWriter::Close()
{
    if (!ownsHandle) {
        return std::nullopt;
    }
    ownsHandle = false;
    const HANDLE closing = std::exchange(handle, INVALID_HANDLE_VALUE);
    if (!CloseHandle(closing)) {
        const DWORD error = GetLastError();
        DeleteFileW(Utf16FromUtf8(path).c_str());
        return "cannot finish writing " + path + " (error " + std::to_string(error) + ")";
    }
    return std::nullopt;
}

void RawFrameWriter::Discard()
{
    if (ownsHandle) {
        CloseHandle(handle);
        ownsHandle = false;
        handle = INVALID_HANDLE_VALUE;
        DeleteFileW(Utf16FromUtf8(path).c_str());
    }
}
