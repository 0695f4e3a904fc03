// The file the build writes into its run folder for the author's mode: the
// source tree's shaders folder, as the program sees it. The program reads it
// like any file on disk, so whatever it holds has a defined answer. Free of
// any platform call.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Its name in the run folder. The release package does not ship it.
inline constexpr std::wstring_view kSourceMarkerName = L"source-shaders.txt";

// More than any Windows path takes: a larger file is not the build's.
inline constexpr std::size_t kLongestSourceMarker = 32768;

// The folder the marker names, in UTF-8 (after a byte-order mark, if any):
// one full Windows path ("C:\..." or "\\server\share\..."), then at most
// one line end. Anything else (empty, a relative path, a second line, control
// characters, too long) names none.
std::optional<std::string> SourceFolderOfMarker(std::string_view bytes);
