#include "demo/author_session.h"

#include "platform/unicode_text.h"
#include "platform/window.h"
#include "scene/music.h"

#include <vector>

AuthorSession::AuthorSession(const std::wstring& folder, DWORD stream)
    : music(stream), length(MusicLength(stream)), shaders(folder)
{
}

void AuthorSession::BeforeFrame(Window& window, ID3D11Device* device, const std::vector<MeshObject*>& scene)
{
    KeyboardState& keyboard = window.keyboard;
    // The engine takes Escape from the same queue after this: its presses go back.
    std::vector<KeyEvent> kept;
    KeyEvent event;
    while (keyboard.keyEvents.Pop(event)) {
        if (event.kind != KeyEventKind::Press) {
            kept.push_back(event);
            continue;
        }
        if (event.code == VK_ESCAPE) {
            kept.push_back(event);
            continue;
        }
        if (const std::optional<AuthorKey> key = AuthorKeyOfVirtualKey(event.code, keyboard.keyStates.test(VK_SHIFT))) {
            Act(ApplyAuthorKey(*key, MusicPosition(music), length, state));
        }
    }
    for (const KeyEvent& back : kept) {
        keyboard.keyEvents.Push(back);
    }
    std::uint8_t character = 0;
    while (keyboard.chars.Pop(character)) {
        if (const std::optional<AuthorKey> key = AuthorKeyOfCharacter(static_cast<char>(character))) {
            Act(ApplyAuthorKey(*key, MusicPosition(music), length, state));
        }
    }
    if (const std::optional<double> repeat = PassageRepeat(MusicPosition(music), state)) {
        SeekMusic(music, *repeat, state.paused);
    }

    shaders.Poll(GetTickCount64());
    shaders.Apply(device, scene);

    const std::wstring now = Utf16FromUtf8(AuthorTitle(MusicPosition(music), state, shaders.Error()));
    if (now != title) {
        title = now;
        SetWindowTextW(window.hwnd, title.c_str());
    }
}

void AuthorSession::Act(const AuthorAction& action)
{
    if (action.seekTo) {
        SeekMusic(music, *action.seekTo, state.paused);
    } else if (action.pause) {
        if (*action.pause) {
            PauseMusic(music);
        } else {
            ResumeMusic(music);
        }
    }
}
