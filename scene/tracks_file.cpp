#include "scene/tracks_file.h"

#include <windows.h>

namespace {

// The path as the messages show it.
std::string Utf8Of(const std::wstring& path)
{
    const int length = static_cast<int>(path.size());
    const int size = WideCharToMultiByte(CP_UTF8, 0, path.data(), length, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, path.data(), length, text.data(), size, nullptr, nullptr);
    return text;
}

TracksFile Refused(std::string message)
{
    return {TracksFile::Outcome::Refused, Tracks{}, std::move(message)};
}

class FileHandle {
public:
    explicit FileHandle(HANDLE opened) : handle(opened) {}
    ~FileHandle()
    {
        if (handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
        }
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    HANDLE Get() const { return handle; }

private:
    HANDLE handle;
};

}  // namespace

TracksFile LoadTracksFile(const std::wstring& path)
{
    const std::string name = Utf8Of(path);
    // Shared every way, so that an editor saving meanwhile is not refused.
    const FileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.Get() == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return {TracksFile::Outcome::Missing, Tracks{}, {}};
        }
        return Refused("cannot open " + name + " (error " + std::to_string(error) + ")");
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size)) {
        return Refused("cannot read " + name + " (error " + std::to_string(GetLastError()) + ")");
    }
    if (size.QuadPart > static_cast<LONGLONG>(kTracksFileByteLimit)) {
        return Refused(name + ": the file is over 4 MiB (" + std::to_string(size.QuadPart) + " bytes)");
    }
    std::string text(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!ReadFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &read, nullptr)) {
        return Refused("cannot read " + name + " (error " + std::to_string(GetLastError()) + ")");
    }
    text.resize(read);  // shorter when the file was cut meanwhile
    TracksRead result = ReadTracks(text, name);
    if (!result.tracks) {
        return Refused(std::move(result.error));
    }
    return {TracksFile::Outcome::Read, std::move(*result.tracks), {}};
}

std::optional<std::string> UseTracksFile(TrackPlayer& player, const std::wstring& path)
{
    TracksFile file = LoadTracksFile(path);
    switch (file.outcome) {
    case TracksFile::Outcome::Read:
        player.Use(std::move(file.tracks));
        return std::nullopt;
    case TracksFile::Outcome::Missing:
        player.Use(Tracks{});
        return std::nullopt;
    default:
        return std::move(file.message);
    }
}
