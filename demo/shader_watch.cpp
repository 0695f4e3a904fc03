#include "demo/shader_watch.h"

#include <cstddef>
#include <cwctype>
#include <string_view>
#include <utility>

namespace {

// How often the path is checked to still name the folder watched.
constexpr std::uint64_t kFolderCheckMs = 1000;
// Completions taken in one call at most, so that a stream of saves never holds up a frame.
constexpr int kMostCompletions = 8;

bool EndsWithFolded(const std::wstring& name, std::wstring_view suffix)
{
    if (name.size() < suffix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        if (std::towlower(name[name.size() - suffix.size() + i]) != suffix[i]) {
            return false;
        }
    }
    return true;
}

bool IsShaderFile(const std::wstring& name)
{
    const auto longer = [&name](std::wstring_view suffix) {
        return name.size() > suffix.size() && EndsWithFolded(name, suffix);
    };
    return longer(L".hlsl") || longer(L".hlsli");
}

template <typename Each>
void ForEachFile(const std::wstring& folder, Each each)
{
    WIN32_FIND_DATAW data{};
    const HANDLE search =
        FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            each(data);
        }
    } while (FindNextFileW(search, &data));
    FindClose(search);
}

}  // namespace

bool IsWatchedFile(const std::wstring& name)
{
    return IsShaderFile(name) || (name.size() == 10 && EndsWithFolded(name, L"tracks.txt"));
}

std::set<std::wstring> ShaderFiles(const std::wstring& folder)
{
    std::set<std::wstring> names;
    ForEachFile(folder, [&names](const WIN32_FIND_DATAW& data) {
        if (IsShaderFile(data.cFileName)) {
            names.insert(data.cFileName);
        }
    });
    return names;
}

ShaderWatch::ShaderWatch(std::wstring watched, DWORD notificationBytes)
    : folder(std::move(watched)), buffer((notificationBytes + sizeof(DWORD) - 1) / sizeof(DWORD))
{
    event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Open();
    known = Look();
}

ShaderWatch::~ShaderWatch()
{
    Close();
    if (event != nullptr) {
        CloseHandle(event);
    }
}

std::map<std::wstring, ShaderWatch::Stamp> ShaderWatch::Look() const
{
    std::map<std::wstring, Stamp> found;
    ForEachFile(folder, [&found](const WIN32_FIND_DATAW& data) {
        if (IsWatchedFile(data.cFileName)) {
            found[data.cFileName] = {.written = (std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) |
                                                data.ftLastWriteTime.dwLowDateTime,
                                     .size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow};
        }
    });
    return found;
}

void ShaderWatch::Open()
{
    // Shared for deleting too, so that the author may still rename or remove the folder.
    directory = CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    if (directory != INVALID_HANDLE_VALUE) {
        Arm();
    }
}

void ShaderWatch::Close()
{
    if (directory == INVALID_HANDLE_VALUE) {
        return;
    }
    if (armed) {
        // The buffer is the system's until the cancelled call has ended.
        CancelIoEx(directory, &overlapped);
        DWORD ignored = 0;
        GetOverlappedResult(directory, &overlapped, &ignored, TRUE);
        armed = false;
    }
    CloseHandle(directory);
    directory = INVALID_HANDLE_VALUE;
}

void ShaderWatch::Arm()
{
    overlapped = {};
    overlapped.hEvent = event;
    ResetEvent(event);
    armed = event != nullptr &&
            ReadDirectoryChangesW(directory, buffer.data(), static_cast<DWORD>(buffer.size() * sizeof(DWORD)), FALSE,
                                  FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME | FILE_NOTIFY_CHANGE_SIZE |
                                      FILE_NOTIFY_CHANGE_LAST_WRITE,
                                  nullptr, &overlapped, nullptr) != FALSE;
    if (!armed) {
        Close();  // tried again at the next check
    }
}

std::set<std::wstring> ShaderWatch::Saved(std::uint64_t nowMs)
{
    std::set<std::wstring> saved;
    for (int taken = 0; armed && taken < kMostCompletions; ++taken) {
        DWORD bytes = 0;
        if (GetOverlappedResult(directory, &overlapped, &bytes, FALSE)) {
            armed = false;
            // No bytes: more changed than the buffer holds.
            if (bytes == 0) {
                LookAgain(saved);
            } else {
                TakeNotifications(bytes, saved);
            }
            Arm();
        } else if (const DWORD error = GetLastError(); error != ERROR_IO_INCOMPLETE) {
            armed = false;
            if (error == ERROR_NOTIFY_ENUM_DIR) {
                LookAgain(saved);
                Arm();
            } else {
                Close();  // the folder went: checked at once
                nextCheckMs = 0;
            }
        } else {
            break;
        }
    }
    if (nowMs >= nextCheckMs) {
        nextCheckMs = nowMs + kFolderCheckMs;
        if (directory != INVALID_HANDLE_VALUE && !StillTheFolder()) {
            Close();
        }
        if (directory == INVALID_HANDLE_VALUE) {
            // Watched first, then looked at: a save in between is told twice, never missed.
            Open();
            LookAgain(saved);
        }
    }
    return saved;
}

void ShaderWatch::TakeNotifications(DWORD bytes, std::set<std::wstring>& saved)
{
    const auto* base = reinterpret_cast<const BYTE*>(buffer.data());
    DWORD offset = 0;
    while (offset + sizeof(FILE_NOTIFY_INFORMATION) <= bytes) {
        const auto* entry = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(base + offset);
        const DWORD nameOffset = offset + offsetof(FILE_NOTIFY_INFORMATION, FileName);
        if (entry->FileNameLength > bytes - nameOffset) {
            break;
        }
        const std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
        if (IsWatchedFile(name)) {
            saved.insert(name);
            WIN32_FILE_ATTRIBUTE_DATA data{};
            if (GetFileAttributesExW((folder + L"\\" + name).c_str(), GetFileExInfoStandard, &data)) {
                known[name] = {.written = (std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) |
                                          data.ftLastWriteTime.dwLowDateTime,
                               .size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow};
            } else {
                known.erase(name);
            }
        }
        if (entry->NextEntryOffset == 0) {
            break;
        }
        offset += entry->NextEntryOffset;
    }
}

void ShaderWatch::LookAgain(std::set<std::wstring>& saved)
{
    std::map<std::wstring, Stamp> now = Look();
    for (const auto& [name, stamp] : now) {
        const auto before = known.find(name);
        if (before == known.end() || !(before->second == stamp)) {
            saved.insert(name);
        }
    }
    for (const auto& entry : known) {
        if (!now.contains(entry.first)) {
            saved.insert(entry.first);
        }
    }
    known = std::move(now);
}

bool ShaderWatch::StillTheFolder() const
{
    const HANDLE now = CreateFileW(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (now == INVALID_HANDLE_VALUE) {
        return false;
    }
    // A folder is told by its volume and its index there, whatever its name.
    BY_HANDLE_FILE_INFORMATION watched{};
    BY_HANDLE_FILE_INFORMATION found{};
    const bool same = GetFileInformationByHandle(directory, &watched) && GetFileInformationByHandle(now, &found) &&
                      watched.dwVolumeSerialNumber == found.dwVolumeSerialNumber &&
                      watched.nFileIndexHigh == found.nFileIndexHigh && watched.nFileIndexLow == found.nFileIndexLow;
    CloseHandle(now);
    return same;
}
