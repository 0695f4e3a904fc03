// Watches the author's folder for the files the author's mode reads (shader
// sources, their includes and the tracks) by the folder's own change
// notifications, collected once a frame without waiting: a save is seen as
// soon as Windows tells it, and nothing is looked at between saves. When the
// notifications overflowed, the whole folder is looked at and compared with
// what was known. Once a second the path is checked to still name the
// folder watched: one taken away, or replaced by another, is watched anew
// once it is there, and what changed meanwhile counts as saved.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

// How long a file that fails to read or compile waits for the next save
// before the failure is told: the second step of an editor's save (a rename,
// or the write after a truncation) comes within it.
inline constexpr std::uint64_t kSaveSettleMs = 250;

// Whether the author's mode reads a file of this name: a .hlsl or .hlsli
// file, or tracks.txt (in any case of the letters).
bool IsWatchedFile(const std::wstring& name);

// The shader sources (.hlsl) and includes (.hlsli) in `folder` now.
std::set<std::wstring> ShaderFiles(const std::wstring& folder);

class ShaderWatch {
public:
    // Enough for a few hundred names between two frames; more overflows
    // into a look at the whole folder.
    static constexpr DWORD kNotificationBytes = 16384;

    // Takes the folder's files as they are now; none of them counts as saved.
    explicit ShaderWatch(std::wstring watched, DWORD notificationBytes = kNotificationBytes);
    ~ShaderWatch();
    ShaderWatch(const ShaderWatch&) = delete;
    ShaderWatch& operator=(const ShaderWatch&) = delete;

    // The watched files written, made, renamed or taken away since the last
    // call, as the notifications came by `nowMs`.
    std::set<std::wstring> Saved(std::uint64_t nowMs);

    const std::wstring& Folder() const { return folder; }

private:
    struct Stamp {
        std::uint64_t written = 0;
        std::uint64_t size = 0;
        bool operator==(const Stamp&) const = default;
    };
    std::map<std::wstring, Stamp> Look() const;
    void Open();
    void Close();
    void Arm();
    void TakeNotifications(DWORD bytes, std::set<std::wstring>& saved);
    // Every file that differs from what was known counts as saved.
    void LookAgain(std::set<std::wstring>& saved);
    // Whether the path still names the folder the handle watches.
    bool StillTheFolder() const;

    const std::wstring folder;
    std::vector<DWORD> buffer;  // DWORDs: the notifications are DWORD-aligned
    HANDLE directory = INVALID_HANDLE_VALUE;
    HANDLE event = nullptr;
    OVERLAPPED overlapped{};
    bool armed = false;
    std::map<std::wstring, Stamp> known;  // the watched files as last seen
    std::uint64_t nextCheckMs = 0;
};
