#include "demo/shader_watch.h"

#include <utility>

namespace {

bool IsShaderFile(const std::wstring& name)
{
    const auto endsWith = [&name](std::wstring_view suffix) {
        if (name.size() <= suffix.size()) {
            return false;
        }
        for (std::size_t i = 0; i < suffix.size(); ++i) {
            if (towlower(name[name.size() - suffix.size() + i]) != suffix[i]) {
                return false;
            }
        }
        return true;
    };
    return endsWith(L".hlsl") || endsWith(L".hlsli");
}

}  // namespace

ShaderWatch::ShaderWatch(std::wstring watched) : folder(std::move(watched))
{
    known = Look();
}

std::map<std::wstring, ShaderWatch::Stamp> ShaderWatch::Look() const
{
    std::map<std::wstring, Stamp> found;
    WIN32_FIND_DATAW data{};
    const HANDLE search =
        FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        return found;
    }
    do {
        const std::wstring name = data.cFileName;
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && IsShaderFile(name)) {
            found[name] = {.written = (std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) |
                                      data.ftLastWriteTime.dwLowDateTime,
                           .size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow};
        }
    } while (FindNextFileW(search, &data));
    FindClose(search);
    return found;
}

std::set<std::wstring> ShaderWatch::Files() const
{
    std::set<std::wstring> names;
    for (const auto& entry : known) {
        names.insert(entry.first);
    }
    return names;
}

std::set<std::wstring> ShaderWatch::Saved()
{
    const std::map<std::wstring, Stamp> now = Look();
    std::set<std::wstring> saved;
    for (const auto& [name, stamp] : now) {
        const auto before = known.find(name);
        if (before != known.end() && before->second == stamp) {
            changing.erase(name);
            continue;
        }
        const auto pending = changing.find(name);
        if (pending != changing.end() && pending->second == stamp) {
            // Still since the last look: written to the end.
            known[name] = stamp;
            changing.erase(pending);
            saved.insert(name);
        } else {
            changing[name] = stamp;
        }
    }
    // A file taken away (an editor's save by renaming) counts once it is back.
    std::erase_if(known, [&now](const auto& entry) { return !now.contains(entry.first); });
    std::erase_if(changing, [&now](const auto& entry) { return !now.contains(entry.first); });
    return saved;
}
