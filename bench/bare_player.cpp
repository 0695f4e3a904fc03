// The bare program that bench/soak.sh runs in the demo's place (--bare): a
// window with the demo's class and title over the screen, so that the desk's
// events reach it alike, cleared through Direct3D 11 every frame with the
// demo's background (a swap chain as the demo's, its buffers resized when
// the screen's size changes, as the demo's are), and music played through
// WASAPI on the default device as our library plays it (shared mode, 200 ms,
// fed on the device's event), without our library or our renderer: what
// grows in it as sinks come and go and the display changes is the system's,
// not ours. It plays MUSIC (16-bit stereo PCM at 44.1 kHz) round and round,
// opens the default device again whenever the device fails or stops being
// the default, and tries again every second while there is none; the
// background's green follows the time since the start as the demo's follows
// the music. Escape ends it with 0.
//   bare_player MUSIC
#include "bench/shared_mode_stream.h"

#include <windows.h>
#include <d3d11.h>

#include <atomic>
#include <cmath>
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

// Clears the window every frame, its buffers following the screen's size.
void DrawUntilQuit(HWND window)
{
    using Microsoft::WRL::ComPtr;
    const DXGI_SWAP_CHAIN_DESC description{.BufferDesc = {.Format = DXGI_FORMAT_B8G8R8A8_UNORM},
                                           .SampleDesc = {.Count = 1},
                                           .BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT,
                                           .BufferCount = 1,
                                           .OutputWindow = window,
                                           .Windowed = TRUE,
                                           .SwapEffect = DXGI_SWAP_EFFECT_DISCARD};
    ComPtr<IDXGISwapChain> swapChain;
    ComPtr<ID3D11Device> device;
    ComPtr<ID3D11DeviceContext> context;
    ComPtr<ID3D11RenderTargetView> target;
    D3D11CreateDeviceAndSwapChain(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION,
                                  &description, &swapChain, &device, nullptr, &context);
    const ULONGLONG start = GetTickCount64();
    int width = 0;
    int height = 0;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                return;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
        const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
        if (swapChain && (screenWidth != width || screenHeight != height || !target)) {
            SetWindowPos(window, nullptr, 0, 0, screenWidth, screenHeight, SWP_NOZORDER | SWP_NOACTIVATE);
            context->ClearState();
            target.Reset();
            ComPtr<ID3D11Texture2D> buffer;
            if (SUCCEEDED(swapChain->ResizeBuffers(0, 0, 0, DXGI_FORMAT_UNKNOWN, 0)) &&
                SUCCEEDED(swapChain->GetBuffer(0, IID_PPV_ARGS(&buffer)))) {
                device->CreateRenderTargetView(buffer.Get(), nullptr, &target);
            }
            width = screenWidth;
            height = screenHeight;
        }
        if (!target || IsIconic(window)) {
            Sleep(100);
            continue;
        }
        const double t = static_cast<double>(GetTickCount64() - start) / 1000.0;
        const float colour[4] = {0.1f, static_cast<float>((std::sin(t) * 0.5 + 0.5) * 0.55), 0.1f, 1.0f};
        context->ClearRenderTargetView(target.Get(), colour);
        swapChain->Present(1, 0);
    }
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
                                .lpszClassName = L"Vexlar Direct3D Engine Window"};
    RegisterClassW(&windowClass);
    const HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"Vexlar-engine", WS_POPUP | WS_VISIBLE, 0, 0,
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
    DrawUntilQuit(window);
    stop = true;
    player.join();
    DestroyWindow(window);
    return 0;
}
