// Watches a folder of shader sources by polling: which .hlsl and .hlsli files
// were saved since the last look. A file counts as saved once its size and
// last-write time have held still over one look, so a file still being
// written is not taken half way.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>

class ShaderWatch {
public:
    // Takes the folder's files as they are now; none of them counts as saved.
    explicit ShaderWatch(std::wstring watched);

    // The names of the files saved since the last call.
    std::set<std::wstring> Saved();

    const std::wstring& Folder() const { return folder; }
    // The sources (.hlsl) and includes (.hlsli) as the last look took them:
    // one new and not yet held still is not among them.
    std::set<std::wstring> Files() const;

private:
    struct Stamp {
        std::uint64_t written = 0;
        std::uint64_t size = 0;
        bool operator==(const Stamp&) const = default;
    };
    std::map<std::wstring, Stamp> Look() const;

    const std::wstring folder;
    std::map<std::wstring, Stamp> known;     // as last taken
    std::map<std::wstring, Stamp> changing;  // seen changed, not yet still
};
