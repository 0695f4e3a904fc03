// The author's mode: the time from saving a pixel shader, or tracks.txt, to
// the return of the first Present of a frame drawn with it, and from a key press (Right) to the
// first frame drawn at the new time, with the frames each took; medians of
// repeated runs. The demo's own frame, window and music, from the run folder:
//   cd build/run && wine ../bench/author_bench.exe FOLDER [runs]
// FOLDER: a copy of the shader sources; its pyramid_pixel.hlsl is
// overwritten, and a tracks.txt written there and taken away again.
// With "passage" after the runs, only the passage's repeats are measured, and
// the passage's marks printed ("passage FROM TO", seconds), and the Unix time
// of each repeat ("repeat UNIX-US"), for author_bench.sh to find each seam in
// what the sink played.
#include "bench/bench_clock.h"
#include "demo/author_session.h"
#include "demo/engine.h"
#include "scene/music.h"

#include <objbase.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

// How far the music has to move on from a place sought to count as moving there.
constexpr double kMovedSeconds = 0.005;

struct Sample {
    double ms = 0.0;
    int frames = 0;
};

void PrintMedian(const char* what, std::vector<Sample> samples)
{
    if (samples.empty()) {
        std::printf("%s: no run ended\n", what);
        return;
    }
    std::sort(samples.begin(), samples.end(), [](const Sample& a, const Sample& b) { return a.ms < b.ms; });
    const Sample& median = samples[samples.size() / 2];
    std::printf("%s: median %.1f ms, %d frame(s) (min %.1f, max %.1f ms; %zu runs)\n", what, median.ms, median.frames,
                samples.front().ms, samples.back().ms, samples.size());
}

bool WriteText(const std::wstring& path, const std::string& text)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != FALSE;
    CloseHandle(file);
    return ok && written == text.size();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fputs("usage: author_bench.exe FOLDER [runs [passage]]\n", stderr);
        return 2;
    }
    const std::string folderText = argv[1];
    const std::wstring folder(folderText.begin(), folderText.end());
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;
    const bool passageOnly = argc > 3 && std::string(argv[3]) == "passage";
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

    ViewerOptions options;
    options.placement = {.mode = WindowMode::Windowed, .clientWidth = 640, .clientHeight = 360};
    options.author = true;
    Engine engine(GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN), options);
    if (!engine.CanRender()) {
        std::fputs("no device\n", stderr);
        return 1;
    }
    engine.BorrowDevice();
    engine.SetUpScene();
    const DWORD music = StartMusic(false);
    AuthorSession session(folder, music);
    int presents = 0;
    engine.present = [&](IDXGISwapChain& swapChain, UINT syncInterval, UINT flags) {
        ++presents;
        return swapChain.Present(syncInterval, flags);
    };
    double shown = 0.0;  // the music time the last frame was drawn at
    const auto frame = [&] {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        session.BeforeFrame(engine.window, engine.device, engine.scene, engine.tracks);
        shown = MusicTime(music);
        engine.RenderFrame(static_cast<float>(shown));
    };
    const auto framesFor = [&](double seconds) {
        const double end = NowSeconds() + seconds;
        while (NowSeconds() < end) {
            frame();
        }
    };
    framesFor(1.0);

    std::vector<Sample> saves;
    std::vector<Sample> trackSaves;
    std::vector<Sample> keys;
    std::vector<Sample> backs;
    std::vector<Sample> nearEndLanded;
    std::vector<Sample> nearEndMoving;
    const double length = MusicLength(music);
    if (!passageOnly) {
        for (int run = 0; run < runs; ++run) {
            const std::uint64_t compiled = session.ShadersCompiled();
            char text[200];
            std::snprintf(text, sizeof text,
                          "float4 main(float4 position : SV_Position) : SV_Target\n{\n    return float4(%d.0f / 9.0f, "
                          "0.5f, 0.5f, 1.0f);\n}\n",
                          run % 10);
            const LARGE_INTEGER saved = Now();
            const int before = presents;
            if (!WriteText(folder + L"\\pyramid_pixel.hlsl", text)) {
                std::fputs("cannot write pyramid_pixel.hlsl in the folder\n", stderr);
                return 1;
            }
            while (session.ShadersCompiled() == compiled && Seconds(saved, Now()) < 5.0) {
                frame();
            }
            if (session.ShadersCompiled() != compiled) {
                saves.push_back({.ms = Seconds(saved, Now()) * 1000.0, .frames = presents - before});
            }
            framesFor(0.3);
        }

        for (int run = 0; run < runs; ++run) {
            const std::uint64_t taken = session.TracksTaken();
            const std::string text = "track camera.x\n0 " + std::to_string(5 + run % 10) + "\n";
            const LARGE_INTEGER saved = Now();
            const int before = presents;
            if (!WriteText(folder + L"\\tracks.txt", text)) {
                std::fputs("cannot write tracks.txt in the folder\n", stderr);
                return 1;
            }
            while (session.TracksTaken() == taken && Seconds(saved, Now()) < 5.0) {
                frame();
            }
            if (session.TracksTaken() != taken) {
                trackSaves.push_back({.ms = Seconds(saved, Now()) * 1000.0, .frames = presents - before});
            }
            framesFor(0.3);
        }
        DeleteFileW((folder + L"\\tracks.txt").c_str());
        framesFor(0.5);

        for (int run = 0; run < runs; ++run) {
            framesFor(0.2);
            const double from = shown;
            const bool back = from > 30.0;
            const WPARAM key = back ? VK_HOME : VK_RIGHT;
            const int before = presents;
            const LARGE_INTEGER pressed = Now();
            PostMessageW(engine.window.hwnd, WM_KEYDOWN, key, 0);
            PostMessageW(engine.window.hwnd, WM_KEYUP, key, 0xC0000001);
            while (Seconds(pressed, Now()) < 5.0) {
                frame();
                if (back ? shown < from - 1.0 : shown > from + 0.5) {
                    keys.push_back({.ms = Seconds(pressed, Now()) * 1000.0, .frames = presents - before});
                    break;
                }
            }
        }
        // Back twenty seconds, to music heard before.
        for (int run = 0; run < runs; ++run) {
            SeekMusic(music, 30.0, false);
            framesFor(0.3);
            const int before = presents;
            const LARGE_INTEGER sought = Now();
            SeekMusic(music, 10.0, false);
            while (Seconds(sought, Now()) < 5.0) {
                frame();
                if (shown > 10.0 && shown < 20.0) {
                    backs.push_back({.ms = Seconds(sought, Now()) * 1000.0, .frames = presents - before});
                    break;
                }
            }
        }
        // From the song's last seconds, Left (a second back): to the first frame
        // at the new time, and to the first frame that shows the music moving on
        // from there (the position reads the new place at once, and stands until
        // the music there plays).
        for (int run = 0; run < runs; ++run) {
            SeekMusic(music, length - 3.0, false);
            framesFor(0.5);
            const double from = shown;
            const int before = presents;
            const LARGE_INTEGER pressed = Now();
            PostMessageW(engine.window.hwnd, WM_KEYDOWN, VK_LEFT, 0);
            PostMessageW(engine.window.hwnd, WM_KEYUP, VK_LEFT, 0xC0000001);
            std::optional<double> landed;
            while (Seconds(pressed, Now()) < 5.0) {
                frame();
                const Sample sample{.ms = Seconds(pressed, Now()) * 1000.0, .frames = presents - before};
                if (!landed && shown < from - 0.5) {
                    landed = shown;
                    nearEndLanded.push_back(sample);
                }
                if (landed && shown > *landed + kMovedSeconds) {
                    nearEndMoving.push_back(sample);
                    break;
                }
            }
        }
    }
    // A passage of a second and a half near the end, marked with [ and ] as
    // it plays and repeated: from the start of the frame that went back to
    // its start (the seek is made in it) to the music moving there.
    SeekMusic(music, length - 6.0, false);
    framesFor(0.2);
    PostMessageW(engine.window.hwnd, WM_CHAR, '[', 0);
    framesFor(1.5);
    PostMessageW(engine.window.hwnd, WM_CHAR, ']', 0);
    std::vector<Sample> seams;
    std::vector<std::int64_t> repeatedAt;  // Unix time of each frame that went back
    double last = shown;
    const LARGE_INTEGER passageSet = Now();
    while (static_cast<int>(seams.size()) < runs && Seconds(passageSet, Now()) < 3.0 * runs + 5.0) {
        const LARGE_INTEGER frameStart = Now();
        const std::int64_t frameStartUnix = UnixMicroseconds();
        const int presentsBefore = presents;
        frame();
        if (shown >= last - 1.0) {
            last = shown;
            continue;
        }
        repeatedAt.push_back(frameStartUnix);
        const double landed = shown;
        while (Seconds(frameStart, Now()) < 5.0 && shown <= landed + kMovedSeconds) {
            frame();
        }
        seams.push_back({.ms = Seconds(frameStart, Now()) * 1000.0, .frames = presents - presentsBefore});
        last = shown;
    }
    char title[200] = {};
    GetWindowTextA(engine.window.hwnd, title, sizeof title);
    double passageFrom = 0.0;
    double passageTo = 0.0;
    const char* marks = std::strstr(title, "passage ");
    if (passageOnly && marks != nullptr && std::sscanf(marks, "passage %lf-%lf", &passageFrom, &passageTo) == 2) {
        std::printf("passage %.3f %.3f\n", passageFrom, passageTo);
    }
    for (const std::int64_t at : passageOnly ? repeatedAt : std::vector<std::int64_t>{}) {
        std::printf("repeat %lld\n", static_cast<long long>(at));
    }
    PostMessageW(engine.window.hwnd, WM_KEYDOWN, VK_BACK, 0);
    PostMessageW(engine.window.hwnd, WM_KEYUP, VK_BACK, 0xC0000001);
    framesFor(0.1);

    if (!passageOnly) {
        PrintMedian("save to the first frame drawn with the new shader", saves);
        PrintMedian("save of tracks.txt to the first frame drawn with its tracks", trackSaves);
        PrintMedian("key press to the first frame at the new time", keys);
        PrintMedian("a seek from 30 s back to 10 s to the first frame past 10 s", backs);
        PrintMedian("Left in the last seconds to the first frame at the new time", nearEndLanded);
        PrintMedian("Left in the last seconds to the music moving at the new place", nearEndMoving);
    }
    PrintMedian("a passage's repeat near the end: its seam to the music moving at its start", seams);
    // As the demo ends: the library's threads and device go before the process does.
    EndMusic();
    return 0;
}
