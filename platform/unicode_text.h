#pragma once

#include <optional>
#include <string>
#include <string_view>

// Our own strings are UTF-8; Windows' command line and file calls are UTF-16,
// so a name outside the ANSI code page survives the way through.

// The UTF-8 form, or none when `wide` is not valid UTF-16: a Windows name may
// hold an unpaired surrogate, which no UTF-8 text can.
std::optional<std::string> Utf8FromUtf16(std::wstring_view wide);

// The UTF-16 form of UTF-8 text.
std::wstring Utf16FromUtf8(std::string_view text);
