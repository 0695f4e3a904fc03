#include "demo/source_marker.h"

namespace {

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

bool IsFullPath(std::string_view path)
{
    const bool drive = path.size() >= 3 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                       path[1] == ':' && IsSeparator(path[2]);
    const bool share = path.size() >= 3 && path[0] == '\\' && path[1] == '\\' && !IsSeparator(path[2]);
    return drive || share;
}

}  // namespace

std::optional<std::string> SourceFolderOfMarker(std::string_view bytes)
{
    if (bytes.size() > kLongestSourceMarker) {
        return std::nullopt;
    }
    // An editor's UTF-8 byte-order mark, had an author written the file by hand.
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
    }
    if (bytes.ends_with('\n')) {
        bytes.remove_suffix(1);
        if (bytes.ends_with('\r')) {
            bytes.remove_suffix(1);
        }
    }
    for (const char c : bytes) {
        // A second line, a NUL or any other control character: not a path the build wrote.
        if (static_cast<unsigned char>(c) < 0x20 || c == '\x7F') {
            return std::nullopt;
        }
    }
    if (!IsFullPath(bytes)) {
        return std::nullopt;
    }
    return std::string(bytes);
}
