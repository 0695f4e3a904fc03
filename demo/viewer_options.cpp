#include "demo/viewer_options.h"

#include <charconv>
#include <string_view>
#include <system_error>

namespace {

// UTF-8 of an argument for the message that names it; what is not a
// character (an unpaired surrogate) becomes U+FFFD. Not platform/'s
// Utf8FromUtf16: this parser makes no Windows call (its fuzzer runs natively),
// and a message must still name an argument that holds no valid UTF-16.
std::string Utf8Of(std::wstring_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto code = static_cast<std::uint32_t>(text[i]);
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<std::uint32_t>(text[++i]) - 0xDC00);
        } else if ((code >= 0xD800 && code < 0xE000) || code > 0x10FFFF) {
            code = 0xFFFD;
        }
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out;
}

// A whole decimal number made of ASCII digits only.
std::optional<std::uint32_t> ParseCount(std::wstring_view text)
{
    std::string digits;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') {
            return std::nullopt;
        }
        digits += static_cast<char>(c);
    }
    std::uint32_t value = 0;
    const auto [last, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || error != std::errc() || last != digits.data() + digits.size()) {
        return std::nullopt;
    }
    return value;
}

bool IsHelp(std::wstring_view argument)
{
    return argument == L"--help" || argument == L"-h" || argument == L"/?";
}

}  // namespace

std::optional<std::string> ParseViewerOptions(const std::vector<std::wstring>& arguments, ViewerOptions& parsed)
{
    ViewerOptions options;
    // Asking for help anywhere is answered, whatever else is wrong.
    for (const std::wstring& argument : arguments) {
        if (IsHelp(argument)) {
            options.help = true;
            parsed = options;
            return std::nullopt;
        }
    }
    bool monitorGiven = false;
    bool windowedGiven = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        // "--name value" or "--name=value".
        const std::wstring_view argument = arguments[i];
        const std::size_t equals = argument.find(L'=');
        const std::wstring_view name = argument.substr(0, equals);
        std::optional<std::wstring_view> value;
        if (equals != std::wstring_view::npos) {
            value = argument.substr(equals + 1);
        }
        const std::string shown = Utf8Of(name);

        if (name == L"--author") {
            if (options.author) {
                return "--author is given twice";
            }
            options.author = true;
            if (!value && i + 1 < arguments.size() && !arguments[i + 1].starts_with(L"-")) {
                value = arguments[++i];
            }
            if (value && value->empty()) {
                return "--author takes a folder of shader sources, not an empty one";
            }
            options.authorFolder = value.value_or(std::wstring_view());
        } else if (name == L"--loop") {
            if (value) {
                return "--loop takes no value";
            }
            if (options.loop) {
                return "--loop is given twice";
            }
            options.loop = true;
        } else if (name == L"--monitor" || name == L"--windowed") {
            const bool monitor = name == L"--monitor";
            if (monitor ? monitorGiven : windowedGiven) {
                return shown + " is given twice";
            }
            if (monitorGiven || windowedGiven) {
                return "give --monitor or --windowed, not both";
            }
            // The window's size may be left out; the monitor may not.
            const bool nextIsValue = i + 1 < arguments.size() && !arguments[i + 1].starts_with(L"-");
            if (!value && (monitor || nextIsValue)) {
                if (i + 1 == arguments.size()) {
                    return "--monitor needs a value: a monitor's number (1 the primary) or primary";
                }
                value = arguments[++i];
            }
            if (monitor) {
                monitorGiven = true;
                const std::optional<std::uint32_t> number =
                    *value == L"primary" ? std::optional<std::uint32_t>{1} : ParseCount(*value);
                if (!number || *number == 0 || *number > kHighestMonitor) {
                    return "--monitor takes a monitor's number from 1 (the primary) to 64, or primary, not '" +
                           Utf8Of(*value) + "'";
                }
                options.placement.mode = WindowMode::OneMonitor;
                options.placement.monitor = *number;
            } else {
                windowedGiven = true;
                options.placement.mode = WindowMode::Windowed;
                if (value) {
                    const std::size_t x = value->find_first_of(L"xX");
                    const std::optional<std::uint32_t> width =
                        x == std::wstring_view::npos ? std::nullopt : ParseCount(value->substr(0, x));
                    const std::optional<std::uint32_t> height =
                        x == std::wstring_view::npos ? std::nullopt : ParseCount(value->substr(x + 1));
                    if (!width || !height || *width == 0 || *height == 0 || *width > kLargestClientSide ||
                        *height > kLargestClientSide) {
                        return "--windowed takes the picture's size as WIDTHxHEIGHT, 1 to 16384 a side, such as "
                               "1280x720, not '" +
                               Utf8Of(*value) + "'";
                    }
                    options.placement.clientWidth = *width;
                    options.placement.clientHeight = *height;
                }
            }
        } else {
            return "unknown option '" + Utf8Of(argument) + "'";
        }
    }
    // The author works beside an editor: a window, unless a place is asked for.
    if (options.author && !monitorGiven && !windowedGiven) {
        options.placement.mode = WindowMode::Windowed;
    }
    parsed = options;
    return std::nullopt;
}

std::string ViewerUsage()
{
    return "Usage: vexlar.exe [--monitor N | --windowed [WxH]] [--loop] [--author [FOLDER]]\n"
           "Without options the demo fills every monitor; when its music ends the picture\n"
           "stands still until you end it.\n"
           "\n"
           "  --monitor N      full screen on one monitor only: 1 the primary, 2 and on the\n"
           "                   others in the order Windows lists them (not the numbers its\n"
           "                   display settings show under Identify); --monitor primary is 1.\n"
           "                   Without that monitor, the primary.\n"
           "  --windowed [WxH] an ordinary window whose picture is W by H pixels (default\n"
           "                   1280x720, a quarter of the screen when that does not fit)\n"
           "  --loop           the music, and so the picture, start again at the end\n"
           "  --author [FOLDER] the author's mode, in a window unless placed otherwise: Space\n"
           "                   pauses, Left/Right go 1 s (Shift 10 s), Home to 0, [ and ]\n"
           "                   mark a passage that repeats, Backspace clears it; shaders\n"
           "                   saved in FOLDER (default: the shaders folder beside the\n"
           "                   program, or a build's source tree) show at once\n"
           "  --help           this text\n"
           "\n"
           "Hold or press Escape, or press Alt+F4, to end it.\n"
           "Exit codes: 0 ended by the viewer, 1 no Direct3D 11 graphics card (feature\n"
           "level 11_0), 2 bad options.\n";
}
