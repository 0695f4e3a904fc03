// The one check every file the library opens goes through first.
#pragma once

#include <string>

// Absolute path of an existing, non-empty regular file, or an empty string.
std::wstring ResolveReadableFile(const std::wstring& path);
