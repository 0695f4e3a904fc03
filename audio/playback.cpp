#include "audio/playback.h"

#include <mmdeviceapi.h>

#include <algorithm>
#include <cstring>
#include <utility>

using Microsoft::WRL::ComPtr;

namespace {

// Room queued on the device. The position comes from the device's clock, so
// this adds no error to it; it only buys slack against a busy machine.
constexpr REFERENCE_TIME kDeviceBufferDuration = 2'000'000;  // 200 ms in 100 ns units
// Wake-up even without the device's event, in case it never comes.
constexpr DWORD kFeedIntervalMs = 20;
// How far a device's clock may run ahead of real time and still be believed:
// more than the jitter of a real device's clock, less than one buffer.
constexpr std::uint64_t kDeviceLeadMs = 20;
// Time allowed past the expected end for the device to drain its queue.
constexpr ULONGLONG kDrainGraceMs = 2000;

// value * numerator / denominator without overflow for the sizes seen here.
std::uint64_t ScaleDown(std::uint64_t value, std::uint64_t numerator, std::uint64_t denominator)
{
    return value / denominator * numerator + value % denominator * numerator / denominator;
}

struct ScopedHandle {
    HANDLE handle = nullptr;
    explicit ScopedHandle(HANDLE h) : handle(h) {}
    ~ScopedHandle()
    {
        if (handle != nullptr) {
            CloseHandle(handle);
        }
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
};

LARGE_INTEGER Now()
{
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return now;
}

}  // namespace

Playback::Playback(PcmAudio pcm, AudioOutput out)
    : audio(std::move(pcm)), output(out),
      totalBytes(audio.bytes.size() - audio.bytes.size() % std::max(1u, audio.BlockAlign()))
{
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

Playback::~Playback()
{
    stopRequested = true;
    if (stopEvent != nullptr) {
        SetEvent(stopEvent);
    }
    if (feeder.joinable()) {
        feeder.join();
    }
    if (stopEvent != nullptr) {
        CloseHandle(stopEvent);
    }
}

void Playback::Start()
{
    std::lock_guard lock(mutex);
    if (state != State::Idle) {
        return;
    }
    if (output == AudioOutput::Silent || !audio.IsValid() || stopEvent == nullptr) {
        state = State::RealTimeClock;
        AnchorLocked(0);
        return;
    }
    state = State::Opening;
    feeder = std::thread(&Playback::Feed, this);
}

std::uint64_t Playback::PlayedBytes()
{
    std::lock_guard lock(mutex);
    return CurrentBytesLocked();
}

bool Playback::Finished()
{
    std::lock_guard lock(mutex);
    return state != State::Idle && state != State::Opening && CurrentBytesLocked() >= totalBytes;
}

bool Playback::OnDeviceClock()
{
    std::lock_guard lock(mutex);
    return state == State::DeviceClock;
}

std::uint64_t Playback::CurrentBytesLocked()
{
    std::uint64_t bytes = 0;
    switch (state) {
    case State::Idle:
    case State::Opening:
        break;
    case State::DeviceClock:
    case State::RealTimeClock: {
        LARGE_INTEGER frequency{};
        QueryPerformanceFrequency(&frequency);
        const LARGE_INTEGER now = Now();
        const std::uint64_t ticks =
            static_cast<std::uint64_t>(std::max<LONGLONG>(0, now.QuadPart - anchorTime.QuadPart));
        bytes = anchorBytes + ScaleDown(ticks, audio.BytesPerSecond(), static_cast<std::uint64_t>(frequency.QuadPart));
        if (state == State::DeviceClock) {
            // The device's clock rules unless it runs far ahead of real time,
            // as a device that swallows data without playing it does. Behind
            // real time it rules too: it stalled or has not started yet.
            const std::uint64_t device = DeviceBytesLocked();
            if (device <= bytes + ScaleDown(audio.BytesPerSecond(), kDeviceLeadMs, 1000)) {
                bytes = device;
                anchorBytes = device;
                anchorTime = now;
            }
        }
        break;
    }
    }
    bytes = std::min(bytes, totalBytes);
    bytes -= bytes % audio.BlockAlign();
    lastReported = std::max(lastReported, bytes);
    return lastReported;
}

std::uint64_t Playback::DeviceBytesLocked()
{
    UINT64 position = 0;
    if (!deviceClock || clockFrequency == 0 || FAILED(deviceClock->GetPosition(&position, nullptr))) {
        return lastReported;
    }
    const std::uint64_t frames = ScaleDown(position, audio.sampleRate, clockFrequency);
    // The device cannot have played what was never queued.
    return std::min(frames * audio.BlockAlign(), queuedBytes);
}

void Playback::ContinueOnRealTimeClock()
{
    std::lock_guard lock(mutex);
    if (state == State::RealTimeClock) {
        return;
    }
    AnchorLocked(CurrentBytesLocked());
    deviceClock.Reset();
    state = State::RealTimeClock;
}

void Playback::AnchorLocked(std::uint64_t bytes)
{
    anchorBytes = bytes;
    anchorTime = Now();
}

void Playback::Feed()
{
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
    if (SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        PlayOnDevice();
        ContinueOnRealTimeClock();  // every COM object goes before the apartment does
        CoUninitialize();
    } else {
        ContinueOnRealTimeClock();
    }
}

// Plays the piece on the default device until all of it has been handed
// over and played out, or the device fails, or a stop is requested. The
// caller lets the real-time clock carry on from the position reached.
void Playback::PlayOnDevice()
{
    ComPtr<IMMDeviceEnumerator> enumerator;
    ComPtr<IMMDevice> device;
    ComPtr<IAudioClient> client;
    if (FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, IID_PPV_ARGS(&enumerator))) ||
        FAILED(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &device)) ||
        FAILED(device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                reinterpret_cast<void**>(client.GetAddressOf())))) {
        return;
    }

    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = audio.channels;
    format.nSamplesPerSec = audio.sampleRate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = static_cast<WORD>(audio.BlockAlign());
    format.nAvgBytesPerSec = static_cast<DWORD>(audio.BytesPerSecond());
    constexpr DWORD streamFlags = AUDCLNT_STREAMFLAGS_EVENTCALLBACK | AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM |
                                  AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY;
    ScopedHandle ready(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    UINT32 bufferFrames = 0;
    ComPtr<IAudioRenderClient> render;
    ComPtr<IAudioClock> clock;
    UINT64 frequency = 0;
    if (ready.handle == nullptr ||
        FAILED(client->Initialize(AUDCLNT_SHAREMODE_SHARED, streamFlags, kDeviceBufferDuration, 0, &format, nullptr)) ||
        FAILED(client->SetEventHandle(ready.handle)) || FAILED(client->GetBufferSize(&bufferFrames)) ||
        bufferFrames == 0 || FAILED(client->GetService(IID_PPV_ARGS(&render))) ||
        FAILED(client->GetService(IID_PPV_ARGS(&clock))) || FAILED(clock->GetFrequency(&frequency)) || frequency == 0) {
        return;
    }

    const std::uint32_t blockAlign = audio.BlockAlign();
    std::uint64_t written = 0;
    const std::uint64_t bufferBytes = std::uint64_t{bufferFrames} * blockAlign;
    const auto queue = [&](UINT32 room) {
        // At most one buffer ahead of what has been heard, so that a device
        // without a clock of its own is held to real time as well.
        const std::uint64_t heard = PlayedBytes();
        const std::uint64_t allowed = heard + bufferBytes > written ? heard + bufferBytes - written : 0;
        const std::uint64_t frames =
            std::min<std::uint64_t>({room, (totalBytes - written) / blockAlign, allowed / blockAlign});
        if (frames == 0) {
            return true;
        }
        BYTE* target = nullptr;
        if (FAILED(render->GetBuffer(static_cast<UINT32>(frames), &target))) {
            return false;
        }
        std::memcpy(target, audio.bytes.data() + written, frames * blockAlign);
        if (FAILED(render->ReleaseBuffer(static_cast<UINT32>(frames), 0))) {
            return false;
        }
        written += frames * blockAlign;
        std::lock_guard lock(mutex);
        queuedBytes = written;
        return true;
    };

    if (!queue(bufferFrames)) {
        return;
    }
    {
        std::lock_guard lock(mutex);
        deviceClock = clock;
        clockFrequency = frequency;
        state = State::DeviceClock;
        AnchorLocked(0);
    }
    if (FAILED(client->Start())) {
        return;
    }

    const HANDLE wakers[] = {stopEvent, ready.handle};
    ULONGLONG drainDeadline = 0;
    for (;;) {
        WaitForMultipleObjects(2, wakers, FALSE, kFeedIntervalMs);
        UINT32 padding = 0;
        if (stopRequested || FAILED(client->GetCurrentPadding(&padding)) || padding > bufferFrames) {
            break;
        }
        if (written < totalBytes) {
            if (!queue(bufferFrames - padding)) {
                break;
            }
            continue;
        }
        // Everything is queued: the device plays it out, or gives up on it.
        if (drainDeadline == 0) {
            drainDeadline = GetTickCount64() + 1000ull * bufferFrames / audio.sampleRate + kDrainGraceMs;
        }
        if (padding == 0 || GetTickCount64() > drainDeadline) {
            break;
        }
    }
    client->Stop();
}
