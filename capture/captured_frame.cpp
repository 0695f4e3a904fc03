#include "capture/captured_frame.h"

#include <cstring>

void PackFrameRows(const CapturedFrame& frame, std::vector<std::uint8_t>& bytes)
{
    const std::size_t rowBytes = std::size_t(frame.width) * 4;
    bytes.resize(rowBytes * frame.height);
    for (std::uint32_t y = 0; y < frame.height; ++y) {
        std::memcpy(&bytes[y * rowBytes], frame.pixels + std::size_t(y) * frame.rowPitch, rowBytes);
    }
}
