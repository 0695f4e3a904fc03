#include "audio/audio_file_probe.h"

#include <windows.h>

#include <vector>

namespace {

std::vector<std::uint8_t> ReadAt(HANDLE file, std::uint64_t offset, std::size_t bytes)
{
    std::vector<std::uint8_t> data(bytes);
    LARGE_INTEGER position{};
    position.QuadPart = static_cast<LONGLONG>(offset);
    DWORD read = 0;
    if (!SetFilePointerEx(file, position, nullptr, FILE_BEGIN) ||
        !ReadFile(file, data.data(), static_cast<DWORD>(bytes), &read, nullptr)) {
        return {};
    }
    data.resize(read);
    return data;
}

}  // namespace

std::optional<FileLayout> ProbeAudioFile(const std::wstring& fullPath)
{
    const HANDLE file = CreateFileW(fullPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    LARGE_INTEGER size{};
    std::optional<FileLayout> info;
    if (GetFileSizeEx(file, &size)) {
        info = ProbeAudioHead([file](std::uint64_t offset, std::size_t bytes) { return ReadAt(file, offset, bytes); },
                              static_cast<std::uint64_t>(size.QuadPart));
    }
    CloseHandle(file);
    return info;
}
