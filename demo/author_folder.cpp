#include "demo/author_folder.h"

#include "demo/command_line.h"
#include "demo/source_marker.h"
#include "platform/unicode_text.h"

#include <windows.h>

#include <utility>

namespace {

// A few looks a minute would do; one a second keeps the title current as the author fixes it.
constexpr std::uint64_t kLookIntervalMs = 1000;

bool IsFolder(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The full path of `path` as seen from the working directory, without a
// trailing separator (a root keeps its own); `path` itself when Windows cannot tell.
std::wstring FullPath(const std::wstring& path)
{
    std::wstring full(MAX_PATH, L'\0');
    DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length >= full.size()) {
        full.resize(length);
        length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    }
    if (length == 0 || length >= full.size()) {
        return path;
    }
    full.resize(length);
    while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/')) {
        full.pop_back();
    }
    return full;
}

// The first bytes of a file, more than a marker may hold, so that a longer
// one is seen to be; none when there is no such file.
std::optional<std::string> ReadMarker(const std::wstring& path)
{
    std::string bytes(kLongestSourceMarker + 4, '\0');
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? std::nullopt
                                                                              : std::optional<std::string>("");
    }
    DWORD read = 0;
    if (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) {
        read = 0;
    }
    CloseHandle(file);
    bytes.resize(read);
    return bytes;
}

bool HoldsShaderSource(const std::wstring& folder)
{
    WIN32_FIND_DATAW data{};
    const HANDLE search =
        FindFirstFileExW((folder + L"\\*.hlsl").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool found = false;
    do {
        found = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    } while (!found && FindNextFileW(search, &data));
    FindClose(search);
    return found;
}

std::wstring WithSeparator(std::wstring folder)
{
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') {
        folder += L'\\';
    }
    return folder;
}

}  // namespace

std::wstring AuthorFolder(const std::wstring& given, const std::wstring& programFolder)
{
    if (!given.empty()) {
        return FullPath(given);
    }
    const std::wstring beside = WithSeparator(programFolder);
    if (const std::optional<std::string> source =
            SourceFolderOfMarker(ReadMarker(beside + std::wstring(kSourceMarkerName)).value_or(""))) {
        std::wstring sourceFolder = FullPath(Utf16FromUtf8(*source));
        // A build tree whose sources were moved or removed has its own copies.
        if (IsFolder(sourceFolder)) {
            return sourceFolder;
        }
    }
    return FullPath(beside + L"shaders");
}

std::optional<std::string> AuthorFolderProblem(const std::wstring& folder)
{
    const std::string name = Utf8FromUtf16(folder).value_or("FOLDER");
    if (!IsFolder(folder)) {
        return "the shader folder " + name + " does not exist";
    }
    if (!HoldsShaderSource(folder)) {
        return "the shader folder " + name + " holds no shader source (.hlsl)";
    }
    return std::nullopt;
}

std::optional<std::string> AuthorFolderNotice(const std::wstring& watched, const std::wstring& programFolder)
{
    const std::wstring beside = WithSeparator(programFolder);
    const std::optional<std::string> marker = ReadMarker(beside + std::wstring(kSourceMarkerName));
    if (!marker || FullPath(watched) != FullPath(beside + L"shaders")) {
        return std::nullopt;
    }
    const std::optional<std::string> source = SourceFolderOfMarker(*marker);
    if (source && IsFolder(FullPath(Utf16FromUtf8(*source)))) {
        return std::nullopt;  // named so by the author
    }
    const std::string name = Utf8FromUtf16(watched).value_or("FOLDER");
    const std::string marked = Utf8FromUtf16(kSourceMarkerName).value_or("");
    return "watching " + name + ": " +
           (source ? "the folder " + marked + " names, " + *source + ", does not exist"
                   : marked + " names no folder (one full path on one line)");
}

AuthorFolderCheck::AuthorFolderCheck(std::wstring watched, const std::wstring& programFolder)
    : folder(std::move(watched)), notice(AuthorFolderNotice(folder, programFolder).value_or(""))
{
    if (!notice.empty()) {
        WriteStandardError("vexlar: " + notice + "\n");
    }
}

const std::string& AuthorFolderCheck::Problem(std::uint64_t nowMs)
{
    if (nowMs < nextLookMs) {
        return problem;
    }
    nextLookMs = nowMs + kLookIntervalMs;
    std::string now = AuthorFolderProblem(folder).value_or(std::string());
    if (!now.empty() && now != problem) {
        WriteStandardError("vexlar: " + now + "\n");
    }
    problem = std::move(now);
    return problem;
}
