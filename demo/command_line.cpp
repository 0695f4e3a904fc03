#include "demo/command_line.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

namespace {

std::wstring Utf16Of(const std::string& text)
{
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) {
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    }
    return wide;
}

bool WriteTo(HANDLE handle, const std::wstring& text)
{
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || GetFileType(handle) == FILE_TYPE_UNKNOWN) {
        return false;
    }
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        // A console shows UTF-16 as it is, whatever its code page.
        DWORD written = 0;
        return WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != FALSE;
    }
    // A pipe or a file takes UTF-8.
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), length, nullptr, nullptr);
    DWORD written = 0;
    return WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != FALSE;
}

}  // namespace

std::vector<std::wstring> CommandLineArguments()
{
    std::vector<std::wstring> arguments;
    int count = 0;
    LPWSTR* const split = CommandLineToArgvW(GetCommandLineW(), &count);
    if (split == nullptr) {
        return arguments;
    }
    for (int i = 1; i < count; ++i) {
        arguments.emplace_back(split[i]);
    }
    LocalFree(static_cast<HLOCAL>(split));
    return arguments;
}

void ShowCommandLineAnswer(const std::string& text, bool problem)
{
    const std::wstring wide = Utf16Of(text);
    if (WriteTo(GetStdHandle(STD_ERROR_HANDLE), wide)) {
        return;
    }
    // A program with a window has no console of its own; from a prompt, the
    // prompt's is there to borrow.
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        const HANDLE console =
            CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        // The prompt came back when the program started: start on a line of our own.
        const bool written = WriteTo(console, L"\n" + wide);
        if (console != INVALID_HANDLE_VALUE) {
            CloseHandle(console);
        }
        FreeConsole();
        if (written) {
            return;
        }
    }
    MessageBoxW(nullptr, wide.c_str(), L"Vexlar-engine", MB_OK | (problem ? MB_ICONERROR : MB_ICONINFORMATION));
}
