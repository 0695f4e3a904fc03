#include "demo/run_folder.h"

#include <windows.h>

#include <cstddef>

namespace {

// The longest path the wide-character file functions take.
constexpr std::size_t kLongestPath = 32768;

constexpr std::wstring_view kLongPathPrefix = L"\\\\?\\";

// A drive path such as "C:\..." behind the long-path prefix.
bool IsDrivePath(std::wstring_view path)
{
    return path.size() >= 3 && path[1] == L':' && IsPathSeparator(path[2]);
}

std::wstring ExecutablePath()
{
    std::wstring path(MAX_PATH, L'\0');
    while (true) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        // A full buffer means the path was cut short.
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        if (path.size() >= kLongestPath) {
            return {};
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace

std::wstring FolderOfFile(std::wstring_view filePath)
{
    // The working directory cannot be a long-path name on every Windows
    // version; a drive path means the same without the prefix.
    if (filePath.starts_with(kLongPathPrefix) && IsDrivePath(filePath.substr(kLongPathPrefix.size()))) {
        filePath.remove_prefix(kLongPathPrefix.size());
    }
    std::size_t end = filePath.size();
    while (end > 0 && !IsPathSeparator(filePath[end - 1])) {
        --end;
    }
    if (end == 0) {
        return {};
    }
    std::wstring_view folder = filePath.substr(0, end - 1);
    // "C:" alone would mean the drive's own current folder, not its root.
    if (folder.empty() || folder.back() == L':') {
        folder = filePath.substr(0, end);
    }
    return std::wstring(folder);
}

std::wstring ExecutableFolder()
{
    return FolderOfFile(ExecutablePath());
}

bool UseExecutableFolderAsWorkingDirectory()
{
    const std::wstring folder = ExecutableFolder();
    return !folder.empty() && SetCurrentDirectoryW(folder.c_str()) != 0;
}

bool IsPathSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}
