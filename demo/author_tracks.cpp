#include "demo/author_tracks.h"

#include "demo/command_line.h"
#include "demo/shader_sources.h"
#include "demo/shader_watch.h"
#include "platform/unicode_text.h"
#include "scene/tracks_file.h"

#include <algorithm>
#include <utility>

AuthorTracks::AuthorTracks(const std::wstring& folder) : path(folder + L"\\tracks.txt")
{
}

void AuthorTracks::Poll(std::uint64_t nowMs, const std::set<std::wstring>& saved, TrackPlayer& player)
{
    if (!started) {
        // The folder's own file, not the one the demo read from its run folder.
        started = true;
        player.Use(Tracks{});
        Load(nowMs, true, player);
        return;
    }
    const bool tracksSaved = std::any_of(saved.begin(), saved.end(), [](const std::wstring& name) {
        return FoldedName(Utf8FromUtf16(name).value_or("")) == "tracks.txt";
    });
    if (tracksSaved) {
        Load(nowMs, false, player);
    } else if (settleAtMs && nowMs >= *settleAtMs) {
        Load(nowMs, true, player);
    }
}

void AuthorTracks::Load(std::uint64_t nowMs, bool settled, TrackPlayer& player)
{
    TracksFile file = LoadTracksFile(path);
    if (file.outcome != TracksFile::Outcome::Read && !settled) {
        settleAtMs = nowMs + kSaveSettleMs;
        return;
    }
    settleAtMs.reset();
    if (file.outcome == TracksFile::Outcome::Refused) {
        if (std::string first = FirstMessageLine(file.message); first != error) {
            error = std::move(first);
            WriteStandardError("vexlar: " + error + "\n");
        }
        return;
    }
    // Missing: no tracks, the frame's own numbers.
    player.Use(file.outcome == TracksFile::Outcome::Read ? std::move(file.tracks) : Tracks{});
    error.clear();
    ++taken;
}
