// The demo's command line, free of any platform call: where its window goes,
// whether the music loops, and the help. The program without options runs as
// it always has.
#pragma once

#include "platform/window_placement.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct ViewerOptions {
    WindowPlacement placement;
    bool loop = false;
    bool help = false;
    // The author's mode (--author [FOLDER]): its keys and live shaders from
    // the folder as typed, empty for the default one (demo/author_folder.h).
    bool author = false;
    std::wstring authorFolder;

    friend bool operator==(const ViewerOptions&, const ViewerOptions&) = default;
};

inline constexpr int kBadOptionsExitCode = 2;
// Beyond any real desk; a larger number is a typing error, not a monitor.
inline constexpr std::uint32_t kHighestMonitor = 64;
// The largest texture side a Direct3D 11 device must take.
inline constexpr std::uint32_t kLargestClientSide = 16384;

// Reads the arguments (the program's name left out, as UTF-16) into `parsed`;
// the problem with them, in UTF-8, if any, and then `parsed` is left as it was.
[[nodiscard]] std::optional<std::string> ParseViewerOptions(const std::vector<std::wstring>& arguments,
                                                            ViewerOptions& parsed);

// The --help text.
std::string ViewerUsage();
