#include "demo/author_mode.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// The virtual-key codes of the keys the author's mode reads (as winuser.h has them).
constexpr std::uint8_t kBackspace = 0x08;
constexpr std::uint8_t kSpace = 0x20;
constexpr std::uint8_t kHome = 0x24;
constexpr std::uint8_t kLeft = 0x25;
constexpr std::uint8_t kRight = 0x27;
constexpr std::uint8_t kShift = 0x10;

constexpr double kStepSeconds = 1.0;
constexpr double kFarStepSeconds = 10.0;

}  // namespace

std::string AuthorSeconds(double seconds)
{
    const double milliseconds = std::floor(std::max(0.0, seconds) * 1000.0 + 1e-3);
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", milliseconds / 1000.0);
    return text;
}

std::optional<AuthorKey> AuthorKeyOfVirtualKey(std::uint8_t virtualKey, bool shift)
{
    switch (virtualKey) {
    case kSpace:
        return AuthorKey::PauseOrResume;
    case kLeft:
        return shift ? AuthorKey::FarBack : AuthorKey::Back;
    case kRight:
        return shift ? AuthorKey::FarForward : AuthorKey::Forward;
    case kHome:
        return AuthorKey::ToStart;
    case kBackspace:
        return AuthorKey::ClearPassage;
    default:
        return std::nullopt;
    }
}

std::vector<AuthorKey> AuthorKeysOfEvents(const std::vector<KeyEvent>& events, bool shiftNow)
{
    // Before the queue Shift stood the other way from its first event in it.
    bool shift = shiftNow;
    const auto firstShift =
        std::find_if(events.begin(), events.end(), [](const KeyEvent& event) { return event.code == kShift; });
    if (firstShift != events.end()) {
        shift = firstShift->kind == KeyEventKind::Release;
    }
    std::vector<AuthorKey> keys;
    for (const KeyEvent& event : events) {
        if (event.code == kShift) {
            shift = event.kind == KeyEventKind::Press;
        } else if (event.kind == KeyEventKind::Press) {
            if (const std::optional<AuthorKey> key = AuthorKeyOfVirtualKey(event.code, shift)) {
                keys.push_back(*key);
            }
        }
    }
    return keys;
}

bool IsAuthorKeyEvent(const KeyEvent& event)
{
    return event.code == kShift || AuthorKeyOfVirtualKey(event.code, false).has_value();
}

std::optional<AuthorKey> AuthorKeyOfCharacter(char character)
{
    switch (character) {
    case '[':
        return AuthorKey::MarkStart;
    case ']':
        return AuthorKey::MarkEnd;
    case 'c':
    case 'C':
        return AuthorKey::CopyTime;
    default:
        return std::nullopt;
    }
}

AuthorAction ApplyAuthorKey(AuthorKey key, double now, double length, AuthorState& state)
{
    const auto within = [length](double seconds) { return std::clamp(seconds, 0.0, std::max(0.0, length)); };
    AuthorAction action;
    switch (key) {
    case AuthorKey::PauseOrResume:
        state.paused = !state.paused;
        action.pause = state.paused;
        break;
    case AuthorKey::Back:
        action.seekTo = within(now - kStepSeconds);
        break;
    case AuthorKey::Forward:
        action.seekTo = within(now + kStepSeconds);
        break;
    case AuthorKey::FarBack:
        action.seekTo = within(now - kFarStepSeconds);
        break;
    case AuthorKey::FarForward:
        action.seekTo = within(now + kFarStepSeconds);
        break;
    case AuthorKey::ToStart:
        action.seekTo = 0.0;
        break;
    case AuthorKey::MarkStart:
        state.passageStart = now;
        if (state.passageEnd && *state.passageEnd <= now) {
            state.passageEnd.reset();
        }
        break;
    case AuthorKey::MarkEnd:
        // Without a start, the passage runs from the music's start.
        if (now > state.passageStart.value_or(0.0)) {
            state.passageStart = state.passageStart.value_or(0.0);
            state.passageEnd = now;
        }
        break;
    case AuthorKey::ClearPassage:
        state.passageStart.reset();
        state.passageEnd.reset();
        break;
    case AuthorKey::CopyTime:
        action.copyTime = true;
        break;
    }
    return action;
}

std::optional<double> PassageRepeat(double now, const AuthorState& state)
{
    if (state.paused || !state.HasPassage() || now < *state.passageEnd) {
        return std::nullopt;
    }
    return *state.passageStart;
}

std::string AuthorTitle(double now, const AuthorState& state, std::size_t tracks, const std::string& message)
{
    std::string title = "Vexlar-engine | author | " + AuthorSeconds(now) + " s";
    if (state.paused) {
        title += " | paused";
    }
    if (state.HasPassage()) {
        title += " | passage " + AuthorSeconds(*state.passageStart) + "-" + AuthorSeconds(*state.passageEnd) + " s";
    } else if (state.passageStart) {
        title += " | passage from " + AuthorSeconds(*state.passageStart) + " s";
    }
    if (tracks > 0) {
        title += " | " + std::to_string(tracks) + (tracks == 1 ? " track" : " tracks");
    }
    if (!message.empty()) {
        title += " | " + message;
    }
    return title;
}
