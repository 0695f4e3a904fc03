// What a desk does to the demo while bench/soak.sh runs it, and what the
// soak watches of it from another process:
//   soak_desk minimise | restore   the demo's window, as Windows' own calls do;
//                                  1 when it is not so within five seconds
//   soak_desk away MS              another window takes the foreground, as
//                                  Alt+Tab does, for MS milliseconds; then
//                                  the demo's window is brought back
//   soak_desk watch SECONDS        until the demo's window is gone: every
//                                  SECONDS, "figures UNIX-US private BYTES
//                                  handles N gdi N user N working-set BYTES"
//                                  of the demo's process (Wine answers 0 for
//                                  all but the working set); and at each
//                                  seam of the looping music, "seam UNIX-US
//                                  N FRAME-US": when the picture's time was
//                                  0, from N steps of the background's green,
//                                  and the longest the picture stood still
//                                  there; "start
//                                  UNIX-US N" likewise for the first picture;
//                                  and "zero UNIX-US" whenever the picture's
//                                  time, followed between seams, shows that
//                                  this pass's 0 was elsewhere
//   soak_desk find                 0 once the demo's window is there
// The picture's time comes from the background at the screen's top-left
// corner: its green is round(70.125 (sin t + 1)), so after a seam, where t
// starts again at 0 and the green falls from about 135 to 70, each step up
// of one tells the moment t passed asin((g + 0.5) / 70.125 - 1), within the
// time between two frames and two looks.
#include "bench/bench_clock.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr double kGreenPerUnitSine = 70.125;  // 255 x 0.55 x 0.5
// Beyond this the sine flattens and a step of green spans too long a time.
constexpr double kLastSeamSeconds = 0.7;

HWND DemoWindow()
{
    return FindWindowA("Vexlar Direct3D Engine Window", "Vexlar-engine");
}

void PrintFigures(HWND window)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    const HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    if (process == nullptr) {
        return;
    }
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof(memory);
    GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof(memory));
    DWORD handles = 0;
    GetProcessHandleCount(process, &handles);
    std::printf("figures %lld private %llu handles %lu gdi %lu user %lu working-set %llu\n",
                static_cast<long long>(UnixMicroseconds()), static_cast<unsigned long long>(memory.PrivateUsage),
                handles, GetGuiResources(process, GR_GDIOBJECTS), GetGuiResources(process, GR_USEROBJECTS),
                static_cast<unsigned long long>(memory.WorkingSetSize));
    std::fflush(stdout);
    CloseHandle(process);
}

// The moment the picture's time was 0: the median of the steps' moments
// less their times; 0 when too few steps were seen. Also the longest time
// the picture stood between two changes there: a frame shows the time read
// as it began only once drawn, so the moment is late by up to that much.
double PrintSeam(const char* kind, std::vector<double>& zeros, std::int64_t longestFrame)
{
    if (zeros.size() < 5) {
        return 0;
    }
    const auto middle = zeros.begin() + static_cast<std::ptrdiff_t>(zeros.size() / 2);
    std::nth_element(zeros.begin(), middle, zeros.end());
    std::printf("%s %.0f %zu %lld\n", kind, *middle, zeros.size(), static_cast<long long>(longestFrame));
    std::fflush(stdout);
    return *middle;
}

// Between seams the picture's time is followed from the green's phase, which
// tells it modulo 2 pi once its direction is known: the music stands still a
// moment at each change of device, so the seams drift from a fixed period.
struct Look {
    std::int64_t at;
    int green;
};
double FollowPhase(double zero, const std::vector<Look>& looks)
{
    const Look& now = looks.back();
    const auto before =
        std::find_if(looks.rbegin(), looks.rend(), [&](const Look& look) { return now.at - look.at >= 50'000; });
    // Where the sine is steep enough for a step of green to be a short time.
    if (zero == 0 || before == looks.rend() || now.green < 15 || now.green > 125 ||
        std::abs(now.green - before->green) < 2) {
        return zero;
    }
    constexpr double kPi = 3.14159265358979;
    const double sine = std::asin(now.green / kGreenPerUnitSine - 1.0);
    const double phase = now.green > before->green ? sine : kPi - sine;
    const double expected = (static_cast<double>(now.at) - zero) / 1e6;
    const double turns = std::round((expected - phase) / (2 * kPi));
    return static_cast<double>(now.at) - (phase + 2 * kPi * turns) * 1e6;
}

int Watch(double figuresSeconds)
{
    const HDC screen = GetDC(nullptr);
    const auto figuresEvery = static_cast<std::int64_t>(figuresSeconds * 1e6);
    std::int64_t nextFigures = 0;
    int last = -1;
    std::int64_t seamAt = 0;        // the look that saw the green fall, 0 outside a seam
    std::int64_t changedAt = 0;     // the last look that saw the green change at a seam
    std::int64_t longestFrame = 0;  // the longest time between two such changes
    std::vector<double> zeros;      // each step's moment less its time, microseconds
    bool started = false;
    const char* kind = "seam";
    double zero = 0;  // when the picture's time was 0 in this pass, microseconds
    double told = 0;
    std::vector<Look> looks;
    for (HWND window = DemoWindow(); window != nullptr; window = DemoWindow()) {
        const std::int64_t now = UnixMicroseconds();
        if (now >= nextFigures) {
            PrintFigures(window);
            nextFigures = now + figuresEvery;
        }
        const COLORREF pixel = GetPixel(screen, 2, 2);
        const int green = pixel == CLR_INVALID ? -1 : GetGValue(pixel);
        if (green >= 0 && last >= 0) {
            // The music's last frames (t near 64 s) to its first, or the
            // first pictures (t = 0 until the sound plays).
            // A slow frame rate may show t = 63.5 s last (green 108) and 0.3 s first (90).
            if (((last >= 108 && last - green >= 20) || (!started && seamAt == 0)) && green >= 60 && green <= 90) {
                seamAt = changedAt = now;
                longestFrame = 0;
                zeros.clear();
                kind = started ? "seam" : "start";
            } else if (seamAt != 0) {
                if (green != last) {
                    longestFrame = std::max(longestFrame, now - changedAt);
                    changedAt = now;
                }
                // The latest step it passed; a frame may pass two.
                const double t = std::asin((green - 0.5) / kGreenPerUnitSine - 1.0);
                if (green > last && t > 0.0 && t < kLastSeamSeconds) {
                    zeros.push_back(static_cast<double>(now) - t * 1e6);
                }
                if (t >= kLastSeamSeconds || green < last || now - seamAt > 5'000'000) {
                    const double seam = PrintSeam(kind, zeros, longestFrame);
                    started = started || seam != 0;
                    zero = told = seam != 0 ? seam : zero;
                    seamAt = 0;
                }
            }
        }
        looks.push_back({now, green});
        looks.erase(looks.begin(), std::find_if(looks.begin(), looks.end(),
                                                [&](const Look& look) { return now - look.at <= 100'000; }));
        if (seamAt == 0 && green >= 0) {
            zero = FollowPhase(zero, looks);
            // Told again when it moved by more than a frame or two.
            if (std::fabs(zero - told) > 50'000) {
                std::printf("zero %.0f\n", zero);
                std::fflush(stdout);
                told = zero;
            }
        }
        last = green;
        Sleep(1);
    }
    ReleaseDC(nullptr, screen);
    return 0;
}

// ShowWindow's result is the window's visibility before the call, not whether
// the call was done: the window's state after is the answer.
int MinimiseOrRestore(bool minimise)
{
    const HWND demo = DemoWindow();
    if (demo == nullptr) {
        return 1;
    }
    ShowWindow(demo, minimise ? SW_MINIMIZE : SW_RESTORE);
    for (int look = 0; look < 50; ++look) {
        const bool minimised = IsIconic(demo) != FALSE;
        if (minimised == minimise && (minimise || IsWindowVisible(demo) != FALSE)) {
            return 0;
        }
        Sleep(100);
    }
    return 1;
}

LRESULT CALLBACK AwayProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

// Another program's window in front, as after Alt+Tab, then the demo's again.
int GoAway(DWORD milliseconds)
{
    const HWND demo = DemoWindow();
    if (demo == nullptr) {
        return 1;
    }
    const WNDCLASSW windowClass{
        .lpfnWndProc = AwayProcedure, .hInstance = GetModuleHandleW(nullptr), .lpszClassName = L"SoakDeskAway"};
    RegisterClassW(&windowClass);
    // Clear of the corner the watch reads.
    const HWND away = CreateWindowExW(WS_EX_TOPMOST, L"SoakDeskAway", L"Elsewhere", WS_POPUP | WS_VISIBLE, 400, 300,
                                      320, 200, nullptr, nullptr, windowClass.hInstance, nullptr);
    SetForegroundWindow(away);
    const bool left = GetForegroundWindow() == away;
    const ULONGLONG until = GetTickCount64() + milliseconds;
    for (ULONGLONG now = GetTickCount64(); now < until; now = GetTickCount64()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(until - now), QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
    }
    DestroyWindow(away);
    SetForegroundWindow(demo);
    return left && GetForegroundWindow() == demo ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "minimise") == 0 || std::strcmp(argv[1], "restore") == 0)) {
        return MinimiseOrRestore(argv[1][0] == 'm');
    }
    if (argc == 2 && std::strcmp(argv[1], "find") == 0) {
        return DemoWindow() != nullptr ? 0 : 1;
    }
    if (argc == 3 && std::strcmp(argv[1], "away") == 0) {
        return GoAway(static_cast<DWORD>(std::atoi(argv[2])));
    }
    if (argc == 3 && std::strcmp(argv[1], "watch") == 0) {
        return Watch(std::atof(argv[2]));
    }
    std::fprintf(stderr, "usage: soak_desk minimise | restore | away MS | watch SECONDS | find\n");
    return 2;
}
