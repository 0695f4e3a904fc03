// Time from launching a program to its first frame on the screen, as a user
// sees it: the demo against a bare program that only opens the window and
// the device and clears, and against the same demo with a stand-in audio
// library that does nothing (bench/stand-in/bass.dll, in a copy of the run
// folder beside this bench), in the same run. The screen is watched from this
// process; each program is launched several times, alternately, and ended
// with the close message. Run it from the run folder on a display:
//   cd build/run && wine ../bench/launch_bench.exe [launches of each, 9 if not given]
// With --bare it is the bare program itself.
#include "bench/bench_clock.h"
#include "demo/engine.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kWindowClass[] = L"Vexlar Direct3D Engine Window";

int RunBare()
{
    Engine engine(GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN));
    if (!engine.CanRender()) {
        return 1;
    }
    Graphics& graphics = *engine.window.graphics;
    // The demo's background at the music's time 0.
    const float colour[4] = {0.1f, 0.275f, 0.1f, 1.0f};
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                return static_cast<int>(message.wParam);
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        graphics.context->ClearRenderTargetView(graphics.renderTargetView.Get(), colour);
        graphics.swapChain->Present(1, 0);
    }
}

// The demo's background near the music's start, or the bare program's: dark
// red and blue, a green well above them.
bool ShowsAFrame(HDC screen, int x, int y)
{
    const COLORREF pixel = GetPixel(screen, x, y);
    if (pixel == CLR_INVALID) {
        return false;
    }
    const int red = GetRValue(pixel);
    const int green = GetGValue(pixel);
    const int blue = GetBValue(pixel);
    return red >= 20 && red <= 32 && blue >= 20 && blue <= 32 && green >= 50;
}

// Seconds from launch to the first frame on the screen, or a negative value.
double TimeToFirstFrame(const std::wstring& command)
{
    HDC screen = GetDC(nullptr);
    std::wstring line = command;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    const double start = NowSeconds();
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        ReleaseDC(nullptr, screen);
        return -1;
    }
    double seen = -1;
    while (NowSeconds() - start < 20) {
        // Two corners, away from the cube and the pyramids.
        if (ShowsAFrame(screen, 4, 4) && ShowsAFrame(screen, GetSystemMetrics(SM_CXSCREEN) - 5, 4)) {
            seen = NowSeconds() - start;
            break;
        }
        if (WaitForSingleObject(process.hProcess, 1) == WAIT_OBJECT_0) {
            break;
        }
    }
    const HWND window = FindWindowW(kWindowClass, nullptr);
    if (window != nullptr) {
        PostMessageW(window, WM_CLOSE, 0, 0);
    }
    if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, 5000);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ReleaseDC(nullptr, screen);
    // The screen goes back to what it was before the next launch.
    Sleep(500);
    return seen;
}

// A copy of the run folder's demo with the stand-in audio library beside it;
// its path, or an empty string when it cannot be made.
std::wstring MakeStandInRunFolder(const std::wstring& benchFolder)
{
    std::wstring folder = benchFolder + L"stand-in-run\\";
    for (const wchar_t* sub : {L"", L"shaders", L"textures"}) {
        CreateDirectoryW((folder + sub).c_str(), nullptr);
    }
    if (!CopyFileW((benchFolder + L"stand-in\\bass.dll").c_str(), (folder + L"bass.dll").c_str(), FALSE)) {
        return {};
    }
    for (const wchar_t* file : {L"vexlar.exe", L"music.mp3", L"shaders\\VertexShader.cso", L"shaders\\PixelShader.cso",
                                L"shaders\\VSDefault.cso", L"shaders\\PSDefault.cso", L"textures\\grass.jpg"}) {
        if (!CopyFileW(file, (folder + file).c_str(), FALSE)) {
            return {};
        }
    }
    return folder;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::string(argv[1]) == "--bare") {
        return RunBare();
    }
    const int launches = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    wchar_t self[MAX_PATH]{};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring benchFolder = self;
    benchFolder.resize(benchFolder.find_last_of(L'\\') + 1);
    const std::wstring standInFolder = MakeStandInRunFolder(benchFolder);
    if (standInFolder.empty()) {
        std::printf("cannot copy the demo beside the stand-in audio library (run from the run folder)\n");
        return 1;
    }
    const std::wstring bare = L"\"" + std::wstring(self) + L"\" --bare";
    const std::wstring demo = L"vexlar.exe";
    const std::wstring standIn = L"\"" + standInFolder + L"vexlar.exe\"";

    std::vector<double> bareTimes;
    std::vector<double> demoTimes;
    std::vector<double> standInTimes;
    for (int i = 0; i < launches; ++i) {
        bareTimes.push_back(TimeToFirstFrame(bare));
        demoTimes.push_back(TimeToFirstFrame(demo));
        standInTimes.push_back(TimeToFirstFrame(standIn));
        std::printf("launch %d: bare %.3f s, demo %.3f s, demo with the stand-in audio library %.3f s\n", i + 1,
                    bareTimes.back(), demoTimes.back(), standInTimes.back());
        std::fflush(stdout);
    }
    const double bareMedian = Median(bareTimes);
    const double demoMedian = Median(demoTimes);
    const double standInMedian = Median(standInTimes);
    if (bareMedian <= 0 || demoMedian <= 0 || standInMedian <= 0) {
        std::printf("no frame seen on the screen (is the display 24-bit, and the run folder the working folder?)\n");
        return 1;
    }
    std::printf("launch to first frame, median of %d: demo %.3f s, demo with the stand-in audio library %.3f s, bare "
                "clear-and-present %.3f s\n",
                launches, demoMedian, standInMedian, bareMedian);
    std::printf("ratios: demo / stand-in %.3f, demo / bare %.3f, stand-in / bare %.3f\n", demoMedian / standInMedian,
                demoMedian / bareMedian, standInMedian / bareMedian);
    return 0;
}
