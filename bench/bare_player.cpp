// The bare program that bench/soak.sh runs in the demo's place (--bare): a
// window with the demo's class and title, so that the desk's events reach it
// alike, and music played through WASAPI on the default device as our library
// plays it (shared mode, 200 ms, fed on the device's event), without our
// library: what grows in it as sinks come and go is the system's, not ours.
// It plays MUSIC (16-bit stereo PCM at 44.1 kHz) round and round, opens the
// default device again whenever the device fails or stops being the default,
// and tries again every second while there is none. Escape ends it with 0.
//   bare_player MUSIC
#include <windows.h>
#include <audioclient.h>
#include <mmdeviceapi.h>
#include <wrl/client.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

class DefaultDeviceWatch final : public IMMNotificationClient {
public:
    std::atomic<bool> changed{false};

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override
    {
        if (id == __uuidof(IUnknown) || id == __uuidof(IMMNotificationClient)) {
            *object = static_cast<IMMNotificationClient*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --references;
        if (left == 0) {
            delete this;
        }
        return left;
    }
    HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flow, ERole role, LPCWSTR) override
    {
        if (flow == eRender && role == eConsole) {
            changed = true;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override { return S_OK; }

private:
    std::atomic<ULONG> references{1};
};

// Plays until the device fails, stops being the default, or `stop` is set;
// false when there was no device to play on.
bool PlayOnce(const std::vector<char>& music, std::size_t& at, HANDLE ready, const std::atomic<bool>& stop)
{
    ComPtr<IMMDeviceEnumerator> enumerator;
    ComPtr<IMMDevice> device;
    ComPtr<IAudioClient> client;
    ComPtr<IAudioRenderClient> render;
    WAVEFORMATEX wave{.wFormatTag = WAVE_FORMAT_PCM,
                      .nChannels = 2,
                      .nSamplesPerSec = 44100,
                      .nAvgBytesPerSec = 176400,
                      .nBlockAlign = 4,
                      .wBitsPerSample = 16,
                      .cbSize = 0};
    UINT32 bufferFrames = 0;
    constexpr DWORD kFlags = AUDCLNT_STREAMFLAGS_EVENTCALLBACK | AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM |
                             AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY;
    if (FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, IID_PPV_ARGS(&enumerator))) ||
        FAILED(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &device))) {
        return false;
    }
    auto* watch = new DefaultDeviceWatch();
    const bool watching = SUCCEEDED(enumerator->RegisterEndpointNotificationCallback(watch));
    const std::size_t frames = music.size() / 4;
    bool started = false;
    if (SUCCEEDED(device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                   reinterpret_cast<void**>(client.GetAddressOf()))) &&
        SUCCEEDED(client->Initialize(AUDCLNT_SHAREMODE_SHARED, kFlags, 2'000'000, 0, &wave, nullptr)) &&
        SUCCEEDED(client->SetEventHandle(ready)) && SUCCEEDED(client->GetBufferSize(&bufferFrames)) &&
        SUCCEEDED(client->GetService(IID_PPV_ARGS(&render))) && frames > 0) {
        while (!stop && !watch->changed) {
            UINT32 padding = 0;
            if (FAILED(client->GetCurrentPadding(&padding))) {
                break;
            }
            const UINT32 room = bufferFrames - padding;
            BYTE* target = nullptr;
            if (room > 0 && SUCCEEDED(render->GetBuffer(room, &target))) {
                for (UINT32 i = 0; i < room; ++i, at = (at + 1) % frames) {
                    std::memcpy(target + std::size_t{i} * 4, &music[at * 4], 4);
                }
                render->ReleaseBuffer(room, 0);
            }
            if (!started && FAILED(client->Start())) {
                break;
            }
            started = true;
            WaitForSingleObject(ready, 20);
        }
        client->Stop();
    }
    if (watching) {
        enumerator->UnregisterEndpointNotificationCallback(watch);
    }
    watch->Release();
    return started;
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
