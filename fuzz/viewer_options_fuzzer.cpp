// Any command line of the demo, as Windows hands it over: UTF-16 arguments,
// parsed the way the demo parses them.
//
// Input: UTF-16LE code units; each U+000A ends an argument.
#include "demo/viewer_options.h"
#include "fuzz/fuzz_check.h"

#include <string_view>

namespace {

// Whether text is well-formed UTF-8: the refusal is shown through a
// conversion from UTF-8 that would drop what is not.
bool IsUtf8(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80           ? 1
                                   : (lead >> 5) == 0x6  ? 2
                                   : (lead >> 4) == 0xE  ? 3
                                   : (lead >> 3) == 0x1E ? 4
                                                         : 0;
        if (length == 0 || i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) >> 6) != 0x2) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::wstring> arguments(1);
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const auto unit = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
        if (unit == L'\n') {
            arguments.emplace_back();
        } else {
            arguments.back() += unit;
        }
    }
    if (size == 0) {
        arguments.clear();
    }

    ViewerOptions options;
    options.placement.monitor = 99;  // a marker that only success may change
    if (const std::optional<std::string> problem = ParseViewerOptions(arguments, options)) {
        Require(!problem->empty() && IsUtf8(*problem), "a refusal says why, in UTF-8");
        Require(options.placement.monitor == 99, "a refusal leaves the options alone");
        return 0;
    }
    const WindowPlacement& placement = options.placement;
    Require(placement.monitor >= 1 && placement.monitor <= kHighestMonitor, "the monitor is one that may exist");
    const bool sized = placement.clientWidth > 0 || placement.clientHeight > 0;
    Require(!sized ||
                (placement.mode == WindowMode::Windowed && placement.clientWidth > 0 && placement.clientHeight > 0 &&
                 placement.clientWidth <= kLargestClientSide && placement.clientHeight <= kLargestClientSide),
            "a window's size has both sides, each one a texture may have");
    return 0;
}
