// Conversions between frames, bytes, clock ticks and milliseconds.
#pragma once

#include <cstdint>

// value * numerator / denominator without overflow for the sizes seen here.
inline std::uint64_t ScaleDown(std::uint64_t value, std::uint64_t numerator, std::uint64_t denominator)
{
    return value / denominator * numerator + value % denominator * numerator / denominator;
}
