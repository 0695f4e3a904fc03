// Frame-rate, start-up and memory figures of the demo against a loop that
// only clears and presents, both on the same window and device in one run.
// Run it from the run folder (it loads the shaders, texture and music):
//   cd build/run && wine ../bench/frame_bench.exe [frames for the memory run]
#include "bench/bench_clock.h"
#include "demo/engine.h"
#include "render/mesh_object.h"
#include "scene/frame_transforms.h"
#include "scene/music.h"

#include <objbase.h>
#include <psapi.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

// Seconds since the process was created.
double SinceProcessStart()
{
    FILETIME created, exited, kernel, user, now;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    GetSystemTimeAsFileTime(&now);
    const auto ticks = [](const FILETIME& t) { return (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return double(ticks(now) - ticks(created)) / 1e7;
}

double ThreadCpuSeconds()
{
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    const auto ticks = [](const FILETIME& t) { return (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return double(ticks(kernel) + ticks(user)) / 1e7;
}

double WorkingSetMiB()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return double(counters.WorkingSetSize) / (1024.0 * 1024.0);
}

double PrivateMiB()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return double(counters.PagefileUsage) / (1024.0 * 1024.0);
}

void PumpMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void ClearAndPresent(Graphics& graphics)
{
    const float colour[4] = {0.1f, 0.275f, 0.1f, 1.0f};
    graphics.context->ClearRenderTargetView(graphics.renderTargetView.Get(), colour);
    graphics.context->ClearDepthStencilView(graphics.depthStencilView.Get(), D3D11_CLEAR_DEPTH, 1.0f, 0);
    graphics.swapChain->Present(1, 0);
}

}  // namespace

int main(int argc, char** argv)
{
    const long memoryFrames = argc > 1 ? std::atol(argv[1]) : 100000;
    constexpr int timedFrames = 1000;

    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        Engine engine(GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN));
        if (!engine.CanRender()) {
            std::printf("no device\n");
            return 1;
        }
        Graphics& graphics = *engine.window.graphics;
        std::printf("screen %dx%d\n", engine.window.width, engine.window.height);

        ClearAndPresent(graphics);
        std::printf("process start to first presented frame (clear only): %.3f s\n", SinceProcessStart());

        LARGE_INTEGER start = Now();
        for (int i = 0; i < timedFrames; ++i) {
            PumpMessages();
            ClearAndPresent(graphics);
        }
        const double clearFps = timedFrames / Seconds(start, Now());
        std::printf("clear and present: %.1f frames/s\n", clearFps);
        std::fflush(stdout);

        start = Now();
        engine.BorrowDevice();
        engine.SetUpScene();
        const DWORD music = StartMusic();
        engine.RenderFrame(MusicTime(music));
        std::printf("scene set-up and music start to first demo frame: %.3f s\n", Seconds(start, Now()));

        start = Now();
        for (int i = 0; i < timedFrames; ++i) {
            PumpMessages();
            engine.RenderFrame(MusicTime(music));
        }
        const double demoFps = timedFrames / Seconds(start, Now());
        std::printf("demo: %.1f frames/s, %.3f of clear and present\n", demoFps, demoFps / clearFps);

        // Resident memory over a long run: the per-draw constant buffers must
        // not pile up.
        long frames = 0;
        for (long checkpoint : {1000L, 10000L, 100000L, memoryFrames}) {
            if (checkpoint > memoryFrames || checkpoint <= frames) {
                continue;
            }
            for (; frames < checkpoint; ++frames) {
                PumpMessages();
                engine.RenderFrame(MusicTime(music));
            }
            std::printf("memory after %ld frames: working set %.1f MiB, private %.1f MiB\n", frames, WorkingSetMiB(),
                        PrivateMiB());
            std::fflush(stdout);
        }

        // Last, since without presentation Wine holds on to released
        // buffers for a while.
        const double cpuStart = ThreadCpuSeconds();
        start = Now();
        for (int i = 0; i < timedFrames; ++i) {
            engine.DrawFrame(MusicTime(music));
            if (i % 50 == 49) {
                graphics.context->Flush();
            }
        }
        std::printf("frame without presentation: %.1f us CPU, %.1f us wall\n",
                    (ThreadCpuSeconds() - cpuStart) / timedFrames * 1e6, Seconds(start, Now()) / timedFrames * 1e6);

        // The share of the frame's CPU time that goes to the 37 constant
        // buffers created per frame.
        const double bufferCpuStart = ThreadCpuSeconds();
        for (int i = 0; i < timedFrames; ++i) {
            for (std::size_t draw = 0; draw < kObjectsPerFrame; ++draw) {
                RecreateConstantBuffer(*engine.scene[1], graphics.device.Get());
            }
            if (i % 50 == 49) {
                graphics.context->Flush();
            }
        }
        std::printf("of which 37 constant-buffer creations: %.1f us CPU\n",
                    (ThreadCpuSeconds() - bufferCpuStart) / timedFrames * 1e6);
    }
    CoUninitialize();
    return 0;
}
