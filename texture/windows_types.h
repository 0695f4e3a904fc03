// The Windows types and values that the image container and its size rules
// speak. On Windows they are the SDK's own. Elsewhere, in the native build
// that fuzzes the container's arithmetic, they are the few the container
// uses, with the SDK's numbers, so the same files build without the
// Windows headers.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <dxgiformat.h>
#else
#include <cstdint>

// NOLINTBEGIN(readability-identifier-naming): the SDK's own names.

using HRESULT = std::int32_t;
enum DXGI_FORMAT : std::uint32_t { DXGI_FORMAT_UNKNOWN = 0 };

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr std::uint32_t ERROR_NOT_SUPPORTED = 50;
inline constexpr std::uint32_t ERROR_ARITHMETIC_OVERFLOW = 534;

constexpr HRESULT HRESULT_FROM_WIN32(std::uint32_t code)
{
    return static_cast<HRESULT>((code & 0xFFFFu) | 0x80070000u);
}
constexpr bool FAILED(HRESULT status)
{
    return status < 0;
}
// NOLINTEND(readability-identifier-naming)
#endif
