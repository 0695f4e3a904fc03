// Time from a change of the virtual screen's size (a monitor plugged in or
// taken away, another resolution) to the end of the first frame presented at
// the new size, through the program's own loop. bench/display_change_bench.sh starts it
// on virtual monitors and makes the changes; started alone, it waits for
// changes made by hand. Run it from the run folder:
//   cd build/run && wine ../bench/display_change_bench.exe [changes (default 8)]
#include "bench/bench_clock.h"
#include "demo/engine.h"
#include "demo/message_loop.h"
#include "scene/music.h"

#include <objbase.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct ScreenChange {
    double at = 0.0;  // seconds of the performance counter
    ScreenArea screen;
};

void CALLBACK QuitOnTimer(HWND, UINT, UINT_PTR, DWORD)
{
    PostQuitMessage(0);
}

}  // namespace

int main(int argc, char** argv)
{
    const std::size_t wanted = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 8;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        Engine engine(GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN));
        if (!engine.CanRender()) {
            std::printf("no device\n");
            return 1;
        }
        engine.BorrowDevice();
        engine.SetUpScene();
        const DWORD music = StartMusic();

        // The moment the system reports a new size, seen from a thread of its
        // own within a millisecond, whatever the frames are doing. (Wine moves
        // the corner of a shrinking screen a moment after its size.)
        std::mutex lock;
        std::vector<ScreenChange> changes;
        std::atomic<bool> watching = true;
        std::thread watcher([&] {
            ScreenArea last = VirtualScreen();
            while (watching) {
                const ScreenArea now = VirtualScreen();
                if (now.width != last.width || now.height != last.height) {
                    const std::lock_guard<std::mutex> held(lock);
                    changes.push_back({NowSeconds(), now});
                    last = now;
                }
                Sleep(1);
            }
        });

        std::vector<double> delays;
        std::size_t next = 0;
        std::size_t frames = 0;
        engine.present = [&](IDXGISwapChain& swapChain, UINT syncInterval, UINT flags) {
            const HRESULT answer = swapChain.Present(syncInterval, flags);
            const double at = NowSeconds();
            ++frames;
            const Graphics& graphics = *engine.window.graphics;
            const std::lock_guard<std::mutex> held(lock);
            // A change overtaken by another before its frame was never shown.
            while (next + 1 < changes.size()) {
                ++next;
            }
            if (next < changes.size() && graphics.width == std::uint32_t(changes[next].screen.width) &&
                graphics.height == std::uint32_t(changes[next].screen.height)) {
                delays.push_back((at - changes[next].at) * 1000.0);
                std::printf("%dx%d: %.1f ms\n", changes[next].screen.width, changes[next].screen.height, delays.back());
                std::fflush(stdout);
                ++next;
                if (delays.size() >= wanted) {
                    PostQuitMessage(0);
                }
            }
            return answer;
        };
        const UINT_PTR timer = SetTimer(nullptr, 0, 120000, QuitOnTimer);
        const double start = NowSeconds();
        RunMessageLoop([&] { engine.RenderFrame(MusicTime(music)); });
        const double seconds = NowSeconds() - start;
        KillTimer(nullptr, timer);
        watching = false;
        watcher.join();

        if (delays.empty()) {
            std::printf("no change of the virtual screen was seen\n");
            return 1;
        }
        std::sort(delays.begin(), delays.end());
        const std::size_t half = delays.size() / 2;
        const double median = delays.size() % 2 != 0 ? delays[half] : (delays[half - 1] + delays[half]) / 2.0;
        std::printf("display change to the first frame presented at the new size: median %.1f ms, min %.1f, "
                    "max %.1f (%zu changes; meanwhile %.1f frames/s)\n",
                    median, delays.front(), delays.back(), delays.size(), double(frames) / seconds);
    }
    CoUninitialize();
    return 0;
}
