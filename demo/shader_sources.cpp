#include "demo/shader_sources.h"

#include <algorithm>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// The name of an #include line, or "" when the line is none.
std::string IncludedName(std::string_view line)
{
    line = Trimmed(line);
    if (line.empty() || line.front() != '#') {
        return {};
    }
    line = Trimmed(line.substr(1));
    constexpr std::string_view kInclude = "include";
    if (!line.starts_with(kInclude)) {
        return {};
    }
    line = Trimmed(line.substr(kInclude.size()));
    if (line.size() < 2 || (line.front() != '"' && line.front() != '<')) {
        return {};
    }
    const char close = line.front() == '"' ? '"' : '>';
    const std::size_t end = line.find(close, 1);
    if (end == std::string_view::npos || end == 1) {
        return {};
    }
    return std::string(line.substr(1, end - 1));
}

// A control character (the source's own text is quoted in messages) would
// garble a title or steer a terminal: each one, C1's too, becomes a space.
std::string Printable(std::string_view line)
{
    std::string printable;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const auto byte = static_cast<unsigned char>(line[i]);
        const bool c1 = byte == 0xC2 && i + 1 < line.size() && (static_cast<unsigned char>(line[i + 1]) & 0xE0) == 0x80;
        if (c1) {
            ++i;  // U+0080 to U+009F, two bytes in UTF-8
        }
        printable += byte < 0x20 || byte == 0x7F || c1 ? ' ' : line[i];
    }
    return printable;
}

}  // namespace

std::vector<std::string> IncludedNames(std::string_view source)
{
    std::vector<std::string> names;
    while (!source.empty()) {
        const std::size_t end = source.find('\n');
        const std::string_view line = source.substr(0, end);
        if (std::string name = IncludedName(line); !name.empty()) {
            names.push_back(std::move(name));
        }
        source.remove_prefix(end == std::string_view::npos ? source.size() : end + 1);
    }
    return names;
}

std::string FoldedName(std::string_view name)
{
    std::string folded(name);
    std::transform(folded.begin(), folded.end(), folded.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return folded;
}

std::set<std::string> StaleSources(const std::set<std::string>& saved,
                                   const std::map<std::string, std::vector<std::string>>& includes,
                                   const std::vector<std::string>& sources)
{
    std::map<std::string, std::vector<std::string>> folded;
    for (const auto& [file, names] : includes) {
        std::vector<std::string>& into = folded[FoldedName(file)];
        for (const std::string& name : names) {
            into.push_back(FoldedName(name));
        }
    }
    std::set<std::string> savedFolded;
    for (const std::string& name : saved) {
        savedFolded.insert(FoldedName(name));
    }
    std::set<std::string> stale;
    for (const std::string& source : sources) {
        // Depth first through the includes; each file once, so a circle of
        // includes (which include guards make legal) ends.
        std::set<std::string> seen;
        std::vector<std::string> open{FoldedName(source)};
        while (!open.empty()) {
            const std::string file = open.back();
            open.pop_back();
            if (!seen.insert(file).second) {
                continue;
            }
            if (savedFolded.contains(file)) {
                stale.insert(source);
                break;
            }
            if (const auto found = folded.find(file); found != folded.end()) {
                open.insert(open.end(), found->second.begin(), found->second.end());
            }
        }
    }
    return stale;
}

std::string FirstMessageLine(std::string_view messages)
{
    // The compiler's text ends at its NUL, whatever size its blob has.
    messages = messages.substr(0, messages.find('\0'));
    while (!messages.empty()) {
        const std::size_t end = messages.find('\n');
        const std::string_view line = Trimmed(messages.substr(0, end));
        if (!line.empty()) {
            return Printable(line);
        }
        messages.remove_prefix(end == std::string_view::npos ? messages.size() : end + 1);
    }
    return {};
}
