#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// One drawn frame, valid only during the call that receives it.
struct CapturedFrame {
    const std::uint8_t* pixels;  // BGRA, top row first
    std::uint32_t rowPitch;      // bytes from one row to the next
    std::uint32_t width;
    std::uint32_t height;
    std::uint64_t index;
};

// Copies the frame's rows into `bytes`, packed: four bytes a pixel, no padding.
void PackFrameRows(const CapturedFrame& frame, std::vector<std::uint8_t>& bytes);

// Takes one frame; a problem (why it could not be written) stops the capture.
using FrameSink = std::function<std::optional<std::string>(const CapturedFrame&)>;
