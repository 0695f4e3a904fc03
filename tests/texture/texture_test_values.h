// The values the texture tests expect, named once.
#pragma once

#include "texture/windows_types.h"

#include <cstdint>
#include <limits>

inline constexpr auto kRgba = static_cast<DXGI_FORMAT>(28);  // DXGI_FORMAT_R8G8B8A8_UNORM
inline constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
inline const HRESULT kOverflow = HRESULT_FROM_WIN32(ERROR_ARITHMETIC_OVERFLOW);
inline const HRESULT kNotSupported = HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
