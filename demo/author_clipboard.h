// The clipboard, for the author's mode to hand a time to the author's editor.
#pragma once

#include <windows.h>

#include <string_view>

// Puts `text` (UTF-8) on the clipboard as Unicode text, owned by `owner`.
// Another program may hold the clipboard open: it is asked again for a
// moment (a tenth of a second at most), never waited for longer. False when
// it could not be done.
bool CopyToClipboard(HWND owner, std::string_view text);
