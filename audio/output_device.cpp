#include "audio/output_device.h"

#include "audio/com_object.h"
#include "audio/mta_thread.h"
#include "audio/scale_down.h"
#include "audio/thread_events.h"

#include <audioclient.h>
#include <mmdeviceapi.h>
#include <wrl/client.h>

#include <atomic>
#include <cstring>
#include <memory>

using Microsoft::WRL::ComPtr;

namespace {

// Room queued on the device. The position comes from the device's clock, so
// this adds no error to it; it only buys slack against a busy machine.
constexpr REFERENCE_TIME kDeviceBufferDuration = 2'000'000;  // 200 ms in 100 ns units

// Notes when the system's default output device changes; the system calls it on threads of its own.
class DefaultDeviceWatch final : public ComObject<IMMNotificationClient> {
public:
    std::atomic<bool> changed{false};

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
};

class WasapiDevice final : public OutputDevice {
public:
    explicit WasapiDevice(const PcmFormat& pcm) : format(pcm), ready(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
    ~WasapiDevice() override
    {
        if (client) {
            client->Stop();
        }
        if (watching) {
            enumerator->UnregisterEndpointNotificationCallback(watch.Get());
        }
        // The event goes last, after the members below it (declared after
        // it): the client may signal it until it is released.
    }
    WasapiDevice(const WasapiDevice&) = delete;
    WasapiDevice& operator=(const WasapiDevice&) = delete;

    bool Open()
    {
        ComPtr<IMMDevice> device;
        if (!ready ||
            FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, IID_PPV_ARGS(&enumerator))) ||
            FAILED(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &device))) {
            return false;
        }
        watch = MakeComObject<DefaultDeviceWatch>();
        watching = SUCCEEDED(enumerator->RegisterEndpointNotificationCallback(watch.Get()));
        if (FAILED(device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                    reinterpret_cast<void**>(client.GetAddressOf())))) {
            return false;
        }
        WAVEFORMATEX wave{};
        wave.wFormatTag = WAVE_FORMAT_PCM;
        wave.nChannels = format.channels;
        wave.nSamplesPerSec = format.sampleRate;
        wave.wBitsPerSample = 16;
        wave.nBlockAlign = static_cast<WORD>(format.BlockAlign());
        wave.nAvgBytesPerSec = static_cast<DWORD>(format.BytesPerSecond());
        constexpr DWORD streamFlags = AUDCLNT_STREAMFLAGS_EVENTCALLBACK | AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM |
                                      AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY;
        return SUCCEEDED(client->Initialize(AUDCLNT_SHAREMODE_SHARED, streamFlags, kDeviceBufferDuration, 0, &wave,
                                            nullptr)) &&
               SUCCEEDED(client->SetEventHandle(ready.get())) && SUCCEEDED(client->GetBufferSize(&bufferFrames)) &&
               bufferFrames > 0 && SUCCEEDED(client->GetService(IID_PPV_ARGS(&render))) &&
               SUCCEEDED(client->GetService(IID_PPV_ARGS(&clock))) && SUCCEEDED(clock->GetFrequency(&frequency)) &&
               frequency > 0;
    }

    std::uint32_t BufferFrames() const override { return bufferFrames; }

    std::optional<std::uint32_t> FreeFrames() override
    {
        UINT32 padding = 0;
        if (watch->changed || FAILED(client->GetCurrentPadding(&padding)) || padding > bufferFrames) {
            return std::nullopt;
        }
        return bufferFrames - padding;
    }

    bool Queue(const std::uint8_t* data, std::uint32_t frames) override
    {
        BYTE* target = nullptr;
        if (FAILED(render->GetBuffer(frames, &target))) {
            return false;
        }
        std::memcpy(target, data, std::size_t{frames} * format.BlockAlign());
        return SUCCEEDED(render->ReleaseBuffer(frames, 0));
    }

    bool Start() override { return SUCCEEDED(client->Start()); }
    // Stop answers S_FALSE for a stream that was not playing: not a failure.
    bool Stop() override { return SUCCEEDED(client->Stop()); }
    bool Discard() override { return SUCCEEDED(client->Stop()) && SUCCEEDED(client->Reset()); }

    std::optional<DevicePosition> PlayedFrames() override
    {
        UINT64 position = 0;
        UINT64 counter = 0;  // the performance counter at that position, in 100 ns units
        if (FAILED(clock->GetPosition(&position, &counter))) {
            return std::nullopt;
        }
        return DevicePosition{.frames = ScaleDown(position, format.sampleRate, frequency), .time = counter / 10};
    }

    HANDLE ReadyEvent() const override { return ready.get(); }

private:
    const PcmFormat format;
    const OwnedHandle ready;
    ComPtr<IMMDeviceEnumerator> enumerator;
    ComPtr<DefaultDeviceWatch> watch;
    bool watching = false;
    ComPtr<IAudioClient> client;
    ComPtr<IAudioRenderClient> render;
    ComPtr<IAudioClock> clock;
    UINT32 bufferFrames = 0;
    UINT64 frequency = 0;
};

}  // namespace

std::unique_ptr<OutputDevice> OpenDefaultOutputDevice(const PcmFormat& format)
{
    auto device = std::make_unique<WasapiDevice>(format);
    if (!device->Open()) {
        return nullptr;
    }
    return device;
}

bool DefaultOutputDeviceExists()
{
    return RunOnMtaThread([] {
        ComPtr<IMMDeviceEnumerator> enumerator;
        ComPtr<IMMDevice> device;
        return SUCCEEDED(
                   CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, IID_PPV_ARGS(&enumerator))) &&
               SUCCEEDED(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &device));
    });
}
