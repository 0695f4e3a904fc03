// The bare program that bench/soak.sh runs in the demo's place (--bare): a
// window with the demo's class and title, so that the desk's events reach it
// alike, and music played through WASAPI on the default device as our library
// plays it (shared mode, 200 ms, fed on the device's event), without our
// library: what grows in it as sinks come and go is the system's, not ours.
// It plays MUSIC (16-bit stereo PCM at 44.1 kHz) round and round, opens the
// default device again whenever the device fails or stops being the default,
// and tries again every second while there is none. Escape ends it with 0.
//   bare_player MUSIC
#include "bench/shared_mode_stream.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

// The default output device's identifier, empty when there is none.
std::wstring DefaultDevice()
{
    Microsoft::WRL::ComPtr<IMMDeviceEnumerator> enumerator;
    Microsoft::WRL::ComPtr<IMMDevice> device;
    LPWSTR id = nullptr;
    if (FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, IID_PPV_ARGS(&enumerator))) ||
        FAILED(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &device)) || FAILED(device->GetId(&id))) {
        return {};
    }
    std::wstring named = id;
    CoTaskMemFree(id);
    return named;
}

// Plays until the device fails, stops being the default (asked once a
// second), or `stop` is set; false when there was no device to play on.
bool PlayOnce(const std::vector<char>& music, std::size_t& at, HANDLE ready, const std::atomic<bool>& stop)
{
    SharedModeStream stream;
    const std::wstring playing = DefaultDevice();
    const std::size_t frames = music.size() / 4;
    if (playing.empty() || frames == 0 || !OpenSharedModeStream(ready, stream)) {
        return false;
    }
    ULONGLONG nextLook = GetTickCount64() + 1000;
    for (bool started = false; !stop;) {
        UINT32 padding = 0;
        if (FAILED(stream.client->GetCurrentPadding(&padding))) {
            break;
        }
        const UINT32 room = stream.bufferFrames - padding;
        BYTE* target = nullptr;
        if (room > 0 && SUCCEEDED(stream.render->GetBuffer(room, &target))) {
            for (UINT32 i = 0; i < room; ++i, at = (at + 1) % frames) {
                std::memcpy(target + std::size_t{i} * 4, &music[at * 4], 4);
            }
            stream.render->ReleaseBuffer(room, 0);
        }
        if (!started && FAILED(stream.client->Start())) {
            break;
        }
        started = true;
        WaitForSingleObject(ready, 20);
        if (GetTickCount64() >= nextLook) {
            if (DefaultDevice() != playing) {
                break;
            }
            nextLook += 1000;
        }
    }
    stream.client->Stop();
    return true;
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if ((message == WM_KEYDOWN && wParam == VK_ESCAPE) || message == WM_CLOSE) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bare_player MUSIC\n");
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    const std::vector<char> music{std::istreambuf_iterator<char>(file), {}};
    const WNDCLASSW windowClass{.lpfnWndProc = WindowProcedure,
                                .hInstance = GetModuleHandleW(nullptr),
                                .hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)),
                                .lpszClassName = L"Vexlar Direct3D Engine Window"};
    RegisterClassW(&windowClass);
    CreateWindowExW(0, windowClass.lpszClassName, L"Vexlar-engine", WS_POPUP | WS_VISIBLE, 0, 0,
                    GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr,
                    windowClass.hInstance, nullptr);
    std::atomic<bool> stop{false};
    std::thread player([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        const HANDLE ready = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        std::size_t at = 0;
        while (!stop) {
            // A device lost or changed is replaced at once; while there is none, every second.
            if (!PlayOnce(music, at, ready, stop)) {
                for (int i = 0; i < 50 && !stop; ++i) {
                    Sleep(20);
                }
            }
        }
        CloseHandle(ready);
        CoUninitialize();
    });
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    stop = true;
    player.join();
    return 0;
}
