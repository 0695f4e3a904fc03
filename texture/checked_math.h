#pragma once

#include <cstdint>
#include <limits>

// 64-bit size arithmetic that reports overflow instead of wrapping: a
// wrapped size would lay surfaces out in a block too small for them.

inline constexpr std::uint64_t kMax64 = std::numeric_limits<std::uint64_t>::max();
// The largest size a 32-bit field of Direct3D or WIC holds.
inline constexpr std::uint64_t kMax32 = std::numeric_limits<std::uint32_t>::max();

// False when a * b does not fit; out is written only on success.
inline bool MultiplyChecked(std::uint64_t a, std::uint64_t b, std::uint64_t& out)
{
    if (a != 0 && b > kMax64 / a) {
        return false;
    }
    out = a * b;
    return true;
}

// False when a + b does not fit; out is written only on success.
inline bool AddChecked(std::uint64_t a, std::uint64_t b, std::uint64_t& out)
{
    if (b > kMax64 - a) {
        return false;
    }
    out = a + b;
    return true;
}
