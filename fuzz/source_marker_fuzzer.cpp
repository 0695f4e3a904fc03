// Any bytes in the run folder's source-shaders.txt, read as the demo reads
// them for the author's mode.
#include "demo/source_marker.h"
#include "fuzz/fuzz_check.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::optional<std::string> folder = SourceFolderOfMarker(bytes);
    if (!folder) {
        return 0;
    }
    // An editor's byte-order mark before the path is no part of it.
    const std::string_view text = bytes.starts_with("\xEF\xBB\xBF") ? bytes.substr(3) : bytes;
    Require(text.starts_with(*folder), "the folder is the marker's first line as it is");
    Require(folder->size() >= 3 && folder->size() <= kLongestSourceMarker,
            "a folder is named, no longer than a marker");
    for (const char c : *folder) {
        Require(static_cast<unsigned char>(c) >= 0x20 && c != '\x7F', "one line, without control characters");
    }
    const bool drive = (*folder)[1] == ':' && ((*folder)[2] == '\\' || (*folder)[2] == '/');
    Require(drive || folder->starts_with("\\\\"), "a full path, never one taken from the working directory");
    return 0;
}
