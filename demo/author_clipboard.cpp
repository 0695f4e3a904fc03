#include "demo/author_clipboard.h"

#include "platform/unicode_text.h"

#include <cstring>
#include <string>

namespace {

constexpr int kOpenTries = 20;
constexpr DWORD kBetweenTriesMs = 5;

bool OpenClipboardSoon(HWND owner)
{
    for (int tried = 0; tried < kOpenTries; ++tried) {
        if (OpenClipboard(owner)) {
            return true;
        }
        Sleep(kBetweenTriesMs);
    }
    return false;
}

}  // namespace

bool CopyToClipboard(HWND owner, std::string_view text)
{
    const std::wstring wide = Utf16FromUtf8(text);
    const std::size_t bytes = (wide.size() + 1) * sizeof(wchar_t);
    // The clipboard takes a movable block, and owns it once it has taken it.
    const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (block == nullptr) {
        return false;
    }
    void* const into = GlobalLock(block);
    if (into == nullptr) {
        GlobalFree(block);
        return false;
    }
    std::memcpy(into, wide.c_str(), bytes);
    GlobalUnlock(block);
    if (!OpenClipboardSoon(owner)) {
        GlobalFree(block);
        return false;
    }
    const bool taken = EmptyClipboard() && SetClipboardData(CF_UNICODETEXT, block) != nullptr;
    CloseClipboard();
    if (!taken) {
        GlobalFree(block);
    }
    return taken;
}
