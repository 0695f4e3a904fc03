// The author's transport, free of any platform call: what a key does to the
// music's time, the passage that repeats, and the window's title.
#pragma once

#include "platform/input_state.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class AuthorKey {
    PauseOrResume,  // Space
    Back,           // Left: 1 s back
    Forward,        // Right: 1 s on
    FarBack,        // Shift+Left: 10 s back
    FarForward,     // Shift+Right: 10 s on
    ToStart,        // Home
    MarkStart,      // [
    MarkEnd,        // ]
    ClearPassage,   // Backspace
    CopyTime,       // C: the time shown, to the clipboard
};

// The key a virtual-key code stands for in the author's mode, if any.
std::optional<AuthorKey> AuthorKeyOfVirtualKey(std::uint8_t virtualKey, bool shift);
// The author's keys among a frame's key events, in order, each with Shift as
// it was when that key went down: the queue is read once a frame, when a
// quickly tapped Shift+Right may have been let go already. `shiftNow` is
// Shift's state as the queue is read.
std::vector<AuthorKey> AuthorKeysOfEvents(const std::vector<KeyEvent>& events, bool shiftNow);
// Whether the author's mode reads the key event: its keys' and Shift's,
// pressed or released. Escape's and any other key's stay for the engine.
bool IsAuthorKeyEvent(const KeyEvent& event);
// The key a typed character stands for ('[', ']' and 'c' or 'C', wherever the layout puts them).
std::optional<AuthorKey> AuthorKeyOfCharacter(char character);

struct AuthorState {
    bool paused = false;
    // A passage repeats once both marks are set and its end is after its start.
    std::optional<double> passageStart;
    std::optional<double> passageEnd;

    bool HasPassage() const { return passageStart && passageEnd && *passageEnd > *passageStart; }
};

// What the program does with the music after a key.
struct AuthorAction {
    std::optional<double> seekTo;  // seconds, within the music
    std::optional<bool> pause;     // true: pause; false: resume
    bool copyTime = false;         // the time shown goes to the clipboard
};

// Applies `key` at the music's time `now` (seconds) of a music `length`
// seconds long: a seek stays within 0 and the length; a mark of a passage's
// end before its start leaves the end alone.
AuthorAction ApplyAuthorKey(AuthorKey key, double now, double length, AuthorState& state);

// Where the music goes back to once it has played to the passage's end.
std::optional<double> PassageRepeat(double now, const AuthorState& state);

// The music's time as the title shows it: "12.345", to the millisecond,
// rounded down (2.9996 s reads 2.999) but for a time less than a microsecond
// short of one (a float's 3 s read back as 2.9999998 s reads 3.000).
std::string AuthorSeconds(double seconds);

// "Vexlar-engine | author | 3.000 s | paused | passage 1.000-4.000 s | 5 tracks | <message>":
// the music's time, what else is set, the tracks in force (when there are
// any) and what there is to tell.
std::string AuthorTitle(double now, const AuthorState& state, std::size_t tracks, const std::string& message);
