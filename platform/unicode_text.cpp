#include "platform/unicode_text.h"

#include <windows.h>

std::optional<std::string> Utf8FromUtf16(std::wstring_view wide)
{
    if (wide.empty()) {
        return std::string();
    }
    const auto length = static_cast<int>(wide.size());
    const int size =
        WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return std::nullopt;
    }
    std::string text(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), length, text.data(), size, nullptr, nullptr);
    return text;
}

std::wstring Utf16FromUtf8(std::string_view text)
{
    if (text.empty()) {
        return {};
    }
    const auto length = static_cast<int>(text.size());
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), size);
    return wide;
}
