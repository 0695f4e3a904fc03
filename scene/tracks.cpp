#include "scene/tracks.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::array<std::string_view, 4> kHowWords = {"step", "linear", "smooth", "ramp"};
// A word quoted in a message is cut here, so that a long line stays readable.
constexpr std::size_t kQuotedByteLimit = 40;

// Well-formed UTF-8: no stray continuation byte, no overlong form, no
// surrogate, nothing beyond U+10FFFF.
bool IsUtf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead < 0x80) {
            length = 1;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (length > text.size() - i) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

// A word of the file as a message shows it: cut short, with control bytes
// shown as '?'.
std::string Shown(std::string_view word)
{
    std::size_t end = word.size();
    if (end > kQuotedByteLimit) {
        end = kQuotedByteLimit;
        // Cut between characters, not inside one.
        while (end > 0 && (static_cast<unsigned char>(word[end]) & 0xC0) == 0x80) {
            --end;
        }
    }
    std::string shown;
    for (const char c : word.substr(0, end)) {
        const auto byte = static_cast<unsigned char>(c);
        shown += byte < 0x20 || byte == 0x7F ? '?' : c;
    }
    return end < word.size() ? shown + "..." : shown;
}

std::string Quoted(std::string_view word)
{
    return "\"" + Shown(word) + "\"";
}

bool IsNameCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_';
}

enum class NumberRead { Good, NotANumber, NotFinite, OutOfRange };

// A decimal number as the file writes it, whatever the system's locale: an
// optional sign, digits with a fraction and an exponent.
template <typename Number>
NumberRead ReadNumber(std::string_view word, Number& number)
{
    const char* first = word.data();
    const char* const last = word.data() + word.size();
    // The parser takes '-' but not '+'; "+-1" stays refused.
    if (first != last && *first == '+' && last - first > 1 && first[1] != '-') {
        ++first;
    }
    Number parsed{};
    const auto [end, problem] = std::from_chars(first, last, parsed, std::chars_format::general);
    if (end != last || first == last || problem == std::errc::invalid_argument) {
        return NumberRead::NotANumber;
    }
    if (problem == std::errc::result_out_of_range) {
        return NumberRead::OutOfRange;
    }
    if (!std::isfinite(parsed)) {
        return NumberRead::NotFinite;
    }
    number = parsed;
    return NumberRead::Good;
}

std::string NumberProblem(NumberRead read, std::string_view word)
{
    switch (read) {
    case NumberRead::NotFinite:
        return "not a finite number: " + Quoted(word);
    case NumberRead::OutOfRange:
        return "a number out of single precision's range: " + Quoted(word);
    default:
        return "not a number: " + Quoted(word);
    }
}

// The words of a line without its comment, split at spaces and tabs; no
// statement has more than three, so a fourth is kept only to be refused.
struct Words {
    std::array<std::string_view, 4> word;
    std::size_t size = 0;

    std::string_view operator[](std::size_t i) const { return word[i]; }
};

Words WordsOf(std::string_view line)
{
    line = line.substr(0, line.find('#'));
    Words words;
    std::size_t i = 0;
    while (i < line.size() && words.size < words.word.size()) {
        const std::size_t start = line.find_first_not_of(" \t", i);
        if (start == std::string_view::npos) {
            break;
        }
        const std::size_t end = std::min(line.find_first_of(" \t", start), line.size());
        words.word[words.size++] = line.substr(start, end - start);
        i = end;
    }
    return words;
}

// Reads the text line by line; the first problem ends it.
class TracksReader {
public:
    explicit TracksReader(std::string_view name) : fileName(name) {}

    TracksRead Read(std::string_view text)
    {
        if (text.size() > kTracksFileByteLimit) {
            return {std::nullopt,
                    std::string(fileName) + ": the file is over 4 MiB (" + std::to_string(text.size()) + " bytes)"};
        }
        if (text.starts_with(kByteOrderMark)) {
            text.remove_prefix(kByteOrderMark.size());
        }
        while (!text.empty()) {
            const std::size_t end = std::min(text.find('\n'), text.size());
            std::string_view line = text.substr(0, end);
            text.remove_prefix(std::min(end + 1, text.size()));
            ++lineNumber;
            // CR LF line ends read as LF ones.
            if (line.ends_with('\r')) {
                line.remove_suffix(1);
            }
            if (std::optional<std::string> problem = ReadLine(line)) {
                return Refused(lineNumber, *problem);
            }
        }
        if (std::optional<std::string> problem = EndOfTrack()) {
            return Refused(trackLine, *problem);
        }
        return {std::move(tracks), {}};
    }

private:
    TracksRead Refused(std::size_t at, const std::string& problem) const
    {
        return {std::nullopt, std::string(fileName) + ":" + std::to_string(at) + ": " + problem};
    }

    std::optional<std::string> ReadLine(std::string_view line)
    {
        if (line.size() > kLineByteLimit) {
            return "the line is over 4096 bytes";
        }
        if (!IsUtf8(line)) {
            return "the line is not UTF-8";
        }
        const Words words = WordsOf(line);
        if (words.size == 0) {
            return std::nullopt;
        }
        if (words[0] == "track") {
            return ReadTrackLine(words);
        }
        double time = 0;
        if (ReadNumber(words[0], time) == NumberRead::NotANumber) {
            return "unknown statement: " + Quoted(words[0]);
        }
        return ReadKeyLine(words);
    }

    std::optional<std::string> ReadTrackLine(const Words& words)
    {
        if (words.size != 2) {
            return "a track line is \"track NAME\"";
        }
        const std::string_view name = words[1];
        if (name.size() > kTrackNameByteLimit) {
            return "a track's name is at most 64 bytes: " + Quoted(name);
        }
        for (const char c : name) {
            if (!IsNameCharacter(c)) {
                return "a track's name is letters, digits, '.' and '_': " + Quoted(name);
            }
        }
        if (std::optional<std::string> problem = EndOfTrack()) {
            lineNumber = trackLine;  // told at the keyless track's own line
            return problem;
        }
        for (std::size_t i = 0; i < tracks.tracks.size(); ++i) {
            if (tracks.tracks[i].name == name) {
                return "track " + std::string(name) + " is named twice, first on line " + std::to_string(trackLines[i]);
            }
        }
        if (!NamedTrackOf(name) && ++freeTracks > kFreeTrackLimit) {
            return "more than 16 free tracks: " + std::string(name);
        }
        tracks.tracks.push_back({std::string(name), {}});
        trackLines.push_back(lineNumber);
        trackLine = lineNumber;
        return std::nullopt;
    }

    std::optional<std::string> ReadKeyLine(const Words& words)
    {
        if (words.size > 3 || words.size < 2) {
            return "a key is \"TIME VALUE [HOW]\"";
        }
        if (tracks.tracks.empty()) {
            return "a key before any track line";
        }
        TrackKey key{0.0, 0.0f, KeyHow::Step};
        if (const NumberRead read = ReadNumber(words[0], key.time); read != NumberRead::Good) {
            return NumberProblem(read, words[0]);
        }
        if (const NumberRead read = ReadNumber(words[1], key.value); read != NumberRead::Good) {
            return NumberProblem(read, words[1]);
        }
        if (words.size == 3) {
            const auto* how = std::find(kHowWords.begin(), kHowWords.end(), words[2]);
            if (how == kHowWords.end()) {
                return "HOW is step, linear, smooth or ramp, not " + Quoted(words[2]);
            }
            key.how = static_cast<KeyHow>(how - kHowWords.begin());
        }
        if (key.time < 0.0) {
            return "a key's time is not negative: " + Shown(words[0]);
        }
        std::vector<TrackKey>& keys = tracks.tracks.back().keys;
        if (!keys.empty() && key.time <= keys.back().time) {
            return "the keys' times must increase: " + Shown(words[0]) + " after " + Shown(lastTime);
        }
        if (++keyCount > kKeyLimit) {
            return "more than 100000 keys in all";
        }
        keys.push_back(key);
        lastTime = words[0];
        return std::nullopt;
    }

    // A track ends at the next track line or the end of the file.
    std::optional<std::string> EndOfTrack() const
    {
        if (!tracks.tracks.empty() && tracks.tracks.back().keys.empty()) {
            return "track " + tracks.tracks.back().name + " has no keys";
        }
        return std::nullopt;
    }

    std::string_view fileName;
    Tracks tracks;
    std::vector<std::size_t> trackLines;  // each track's line, for a name given twice
    std::size_t lineNumber = 0;           // the line being read
    std::size_t trackLine = 0;            // the current track's line
    std::size_t freeTracks = 0;
    std::size_t keyCount = 0;
    std::string lastTime;  // the current track's last key's time as written
};

void AppendNumber(std::string& text, auto number)
{
    std::array<char, 32> digits{};
    const auto written = std::to_chars(digits.data(), digits.data() + digits.size(), number);
    text.append(digits.data(), written.ptr);
}

}  // namespace

std::optional<NamedTrack> NamedTrackOf(std::string_view name)
{
    for (std::size_t i = 0; i < kNamedTracks.size(); ++i) {
        if (kNamedTracks[i] == name) {
            return static_cast<NamedTrack>(i);
        }
    }
    return std::nullopt;
}

TracksRead ReadTracks(std::string_view text, std::string_view fileName)
{
    return TracksReader(fileName).Read(text);
}

std::string WriteTracks(const Tracks& tracks)
{
    std::string text;
    for (const Track& track : tracks.tracks) {
        text += "track " + track.name + "\n";
        for (const TrackKey& key : track.keys) {
            AppendNumber(text, key.time);
            text += ' ';
            AppendNumber(text, key.value);
            text += ' ';
            text += kHowWords[static_cast<std::size_t>(key.how)];
            text += '\n';
        }
    }
    return text;
}
