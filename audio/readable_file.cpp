#include "audio/readable_file.h"

#include <windows.h>

std::wstring ResolveReadableFile(const std::wstring& path)
{
    if (path.empty()) {
        return {};
    }
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) {
        return {};
    }
    std::wstring full(needed, L'\0');
    const DWORD written = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (written == 0 || written >= needed) {
        return {};
    }
    full.resize(written);

    WIN32_FILE_ATTRIBUTE_DATA info{};
    if (!GetFileAttributesExW(full.c_str(), GetFileExInfoStandard, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
        (info.nFileSizeHigh == 0 && info.nFileSizeLow == 0)) {
        return {};
    }
    return full;
}
