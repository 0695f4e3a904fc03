// A stream on the default output device as our library opens one (WASAPI,
// shared mode, 16-bit stereo PCM at 44.1 kHz, 200 ms, fed on its event), for
// the benchmarks that play without the library between.
#pragma once

#include <windows.h>
#include <audioclient.h>
#include <mmdeviceapi.h>
#include <wrl/client.h>

struct SharedModeStream {
    Microsoft::WRL::ComPtr<IMMDevice> device;
    Microsoft::WRL::ComPtr<IAudioClient> client;
    Microsoft::WRL::ComPtr<IAudioRenderClient> render;
    UINT32 bufferFrames = 0;
};

// False when there is no default device or it refuses such a stream.
inline bool OpenSharedModeStream(HANDLE ready, SharedModeStream& stream)
{
    Microsoft::WRL::ComPtr<IMMDeviceEnumerator> enumerator;
    WAVEFORMATEX wave{.wFormatTag = WAVE_FORMAT_PCM,
                      .nChannels = 2,
                      .nSamplesPerSec = 44100,
                      .nAvgBytesPerSec = 176400,
                      .nBlockAlign = 4,
                      .wBitsPerSample = 16,
                      .cbSize = 0};
    constexpr DWORD kFlags = AUDCLNT_STREAMFLAGS_EVENTCALLBACK | AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM |
                             AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY;
    return SUCCEEDED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, IID_PPV_ARGS(&enumerator))) &&
           SUCCEEDED(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &stream.device)) &&
           SUCCEEDED(stream.device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                             reinterpret_cast<void**>(stream.client.GetAddressOf()))) &&
           SUCCEEDED(stream.client->Initialize(AUDCLNT_SHAREMODE_SHARED, kFlags, 2'000'000, 0, &wave, nullptr)) &&
           SUCCEEDED(stream.client->SetEventHandle(ready)) &&
           SUCCEEDED(stream.client->GetBufferSize(&stream.bufferFrames)) &&
           SUCCEEDED(stream.client->GetService(IID_PPV_ARGS(&stream.render)));
}
