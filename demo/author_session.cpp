#include "demo/author_session.h"

#include "platform/unicode_text.h"
#include "platform/window.h"
#include "scene/music.h"

#include <vector>

AuthorSession::AuthorSession(const std::wstring& folder, DWORD stream)
    : music(stream), length(MusicLength(stream)), shaders(folder), folderCheck(folder)
{
}

void AuthorSession::BeforeFrame(Window& window, ID3D11Device* device, const std::vector<MeshObject*>& scene)
{
    KeyboardState& keyboard = window.keyboard;
    // Escape stays queued: the engine takes a tap of it after this.
    const std::vector<KeyEvent> events = keyboard.TakeKeyEvents(IsAuthorKeyEvent);
    for (const AuthorKey key : AuthorKeysOfEvents(events, keyboard.keyStates.test(VK_SHIFT))) {
        Act(ApplyAuthorKey(key, MusicPosition(music), length, state));
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
    for (const ShaderHandOver& handed : swap.Apply(device, scene, shaders.Materials())) {
        shaders.Given(handed.material, handed.problem);
    }

    // Without a folder to work in, an older compile error is not the news.
    const std::string& folderProblem = folderCheck.Problem(GetTickCount64());
    const std::wstring now = Utf16FromUtf8(
        AuthorTitle(MusicPosition(music), state, folderProblem.empty() ? shaders.Error() : folderProblem));
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
