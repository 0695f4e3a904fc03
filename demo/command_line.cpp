#include "demo/command_line.h"

#include "platform/unicode_text.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

namespace {

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
    // A pipe or a file takes UTF-8 (the text came from UTF-8, so it converts).
    const std::string bytes = Utf8FromUtf16(text).value_or(std::string());
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

bool WriteStandardError(const std::string& text)
{
    return WriteTo(GetStdHandle(STD_ERROR_HANDLE), Utf16FromUtf8(text));
}

void ShowCommandLineAnswer(const std::string& text, bool problem)
{
    if (WriteStandardError(text)) {
        return;
    }
    const std::wstring wide = Utf16FromUtf8(text);
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
