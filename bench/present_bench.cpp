// The run loop's CPU use while the window is minimised (Present answers
// occluded) against the same loop visible, and the time from a lost device to
// the next presented frame. Run it from the run folder (it loads the shaders,
// texture and music):
//   cd build/run && wine ../bench/present_bench.exe [seconds minimised]
#include "bench/bench_clock.h"
#include "demo/engine.h"
#include "demo/message_loop.h"
#include "scene/music.h"

#include <objbase.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

double Ticks(const FILETIME& t)
{
    return double((ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
}

double ThreadCpuSeconds()
{
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    return Ticks(kernel) + Ticks(user);
}

double ProcessCpuSeconds()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    return Ticks(kernel) + Ticks(user);
}

void CALLBACK QuitOnTimer(HWND, UINT, UINT_PTR, DWORD)
{
    PostQuitMessage(0);
}

struct LoopFigures {
    double wall = 0.0;
    double loopCpu = 0.0;
    double processCpu = 0.0;
    int frames = 0;
    int tests = 0;
};

// Runs the program's loop for `seconds`, counting what reaches Present; with
// `ignoreAnswer`, the loop as it was before it heeded Present's answer.
LoopFigures RunLoopFor(Engine& engine, DWORD music, double seconds, bool ignoreAnswer = false)
{
    LoopFigures figures;
    engine.present = [&](IDXGISwapChain& swapChain, UINT syncInterval, UINT flags) {
        ++(flags == DXGI_PRESENT_TEST ? figures.tests : figures.frames);
        return swapChain.Present(syncInterval, flags);
    };
    const UINT_PTR timer = SetTimer(nullptr, 0, UINT(seconds * 1000.0), QuitOnTimer);
    const double loopCpuStart = ThreadCpuSeconds();
    const double processCpuStart = ProcessCpuSeconds();
    const LARGE_INTEGER start = Now();
    RunMessageLoop([&] {
        if (ignoreAnswer) {
            engine.DrawFrame(MusicTime(music));
            engine.present(*engine.window.graphics->swapChain.Get(), 1, 0);
        } else {
            engine.RenderFrame(MusicTime(music));
        }
    });
    figures.wall = Seconds(start, Now());
    figures.loopCpu = ThreadCpuSeconds() - loopCpuStart;
    figures.processCpu = ProcessCpuSeconds() - processCpuStart;
    KillTimer(nullptr, timer);
    engine.present = PresentOnSwapChain;
    return figures;
}

void Print(const char* name, const LoopFigures& figures)
{
    std::printf("%s: %.1f s, loop thread %.2f %% of one core, whole process %.2f %%, %.1f frames/s, %.1f tests/s\n",
                name, figures.wall, 100.0 * figures.loopCpu / figures.wall, 100.0 * figures.processCpu / figures.wall,
                figures.frames / figures.wall, figures.tests / figures.wall);
    std::fflush(stdout);
}

// From the answer "device removed" to the end of the next frame presented on
// the new device, in milliseconds.
double LostDeviceToNextFrame(Engine& engine, DWORD music)
{
    LARGE_INTEGER lostAt{};
    LARGE_INTEGER shownAt{};
    int presents = 0;
    engine.present = [&](IDXGISwapChain& swapChain, UINT syncInterval, UINT flags) {
        if (++presents == 1) {
            lostAt = Now();
            return DXGI_ERROR_DEVICE_REMOVED;
        }
        const HRESULT answer = swapChain.Present(syncInterval, flags);
        shownAt = Now();
        PostQuitMessage(0);
        return answer;
    };
    RunMessageLoop([&] { engine.RenderFrame(MusicTime(music)); });
    engine.present = PresentOnSwapChain;
    return Seconds(lostAt, shownAt) * 1000.0;
}

}  // namespace

int main(int argc, char** argv)
{
    const double hiddenSeconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        Engine engine(GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN));
        if (!engine.CanRender()) {
            std::printf("no device\n");
            return 1;
        }
        std::printf("screen %dx%d\n", engine.window.width, engine.window.height);
        engine.BorrowDevice();
        engine.SetUpScene();
        const DWORD music = StartMusic();

        // What the process spends with no loop at all (the music playing, the
        // platform's own threads): the floor under the minimised figure.
        const double idleCpuStart = ProcessCpuSeconds();
        const LARGE_INTEGER idleStart = Now();
        Sleep(3000);
        std::printf("no loop, music playing: whole process %.2f %% of one core\n",
                    100.0 * (ProcessCpuSeconds() - idleCpuStart) / Seconds(idleStart, Now()));
        Print("visible", RunLoopFor(engine, music, 3.0));
        ShowWindow(engine.window.hwnd, SW_MINIMIZE);
        Print("minimised", RunLoopFor(engine, music, hiddenSeconds));
        ShowWindow(engine.window.hwnd, SW_RESTORE);
        Print("restored", RunLoopFor(engine, music, 1.0));

        std::vector<double> recoveries;
        for (int i = 0; i < 5; ++i) {
            recoveries.push_back(LostDeviceToNextFrame(engine, music));
            if (!engine.CanRender()) {
                std::printf("device could not be created again\n");
                return 1;
            }
        }
        std::sort(recoveries.begin(), recoveries.end());
        std::printf("lost device to next presented frame: median %.1f ms, min %.1f, max %.1f (5 losses)\n",
                    recoveries[2], recoveries.front(), recoveries.back());

        // Last: the frames it queues keep the device busy for a while after.
        ShowWindow(engine.window.hwnd, SW_MINIMIZE);
        Print("minimised, answer ignored", RunLoopFor(engine, music, 3.0, true));
    }
    CoUninitialize();
    return 0;
}
