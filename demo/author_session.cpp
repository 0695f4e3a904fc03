#include "demo/author_session.h"

#include "demo/author_clipboard.h"
#include "demo/command_line.h"
#include "demo/run_folder.h"
#include "platform/unicode_text.h"
#include "platform/window.h"
#include "scene/music.h"
#include "scene/track_player.h"

#include <vector>

AuthorSession::AuthorSession(const std::wstring& folder, DWORD stream)
    : music(stream), length(MusicLength(stream)), watch(folder), shaders(folder), tracks(folder),
      folderCheck(folder, ExecutableFolder())
{
}

void AuthorSession::BeforeFrame(Window& window, ID3D11Device* device, const std::vector<MeshObject*>& scene,
                                TrackPlayer& player)
{
    KeyboardState& keyboard = window.keyboard;
    // Escape stays queued: the engine takes a tap of it after this.
    const std::vector<KeyEvent> events = keyboard.TakeKeyEvents(IsAuthorKeyEvent);
    for (const AuthorKey key : AuthorKeysOfEvents(events, keyboard.keyStates.test(VK_SHIFT))) {
        Act(ApplyAuthorKey(key, MusicPosition(music), length, state), window.hwnd);
    }
    std::uint8_t character = 0;
    while (keyboard.chars.Pop(character)) {
        if (const std::optional<AuthorKey> key = AuthorKeyOfCharacter(static_cast<char>(character))) {
            Act(ApplyAuthorKey(*key, MusicPosition(music), length, state), window.hwnd);
        }
    }
    if (const std::optional<double> repeat = PassageRepeat(MusicPosition(music), state)) {
        SeekMusic(music, *repeat, state.paused);
    }

    const std::uint64_t nowMs = GetTickCount64();
    const std::set<std::wstring> saved = watch.Saved(nowMs);
    shaders.Poll(nowMs, saved);
    tracks.Poll(nowMs, saved, player);
    for (const ShaderHandOver& handed : swap.Apply(device, scene, shaders.Materials())) {
        shaders.Given(handed.material, handed.problem);
    }

    // Without a folder to work in, an older compile error is not the news.
    std::string message = folderCheck.Problem(nowMs);
    if (message.empty()) {
        for (const std::string& told : {folderCheck.Notice(), tracks.Error(), shaders.Error()}) {
            message += message.empty() || told.empty() ? told : " | " + told;
        }
    }
    shown = MusicPosition(music);
    const std::wstring now = Utf16FromUtf8(AuthorTitle(shown, state, player.Count(), message));
    if (now != title) {
        title = now;
        SetWindowTextW(window.hwnd, title.c_str());
    }
}

void AuthorSession::Act(const AuthorAction& action, HWND window)
{
    if (action.copyTime && !CopyToClipboard(window, AuthorSeconds(shown))) {
        WriteStandardError("vexlar: the clipboard is held by another program: the time was not copied\n");
    }
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
