#include "audio/playback.h"

#include "audio/exception_barrier.h"
#include "audio/scale_down.h"

#include <objbase.h>
#include <avrt.h>
#include <process.h>

#include <utility>

std::uint64_t SystemMicroseconds()
{
    LARGE_INTEGER frequency{};
    LARGE_INTEGER counter{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return ScaleDown(static_cast<std::uint64_t>(counter.QuadPart), kMicrosecondsPerSecond,
                     static_cast<std::uint64_t>(frequency.QuadPart));
}

Playback::Playback(SourceOpener sourceOpener, const StreamInfo& stream, AudioOutput out, DeviceOpener deviceOpener,
                   MicrosecondClock time, std::uint64_t keptBehind)
    : info(stream), stopEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)), state(info, out, time),
      decoding(state, std::move(sourceOpener), info, stopEvent.get(), stopRequested, keptBehind),
      feeding(state, decoding, std::move(deviceOpener), info, out, std::move(time), stopEvent.get(), stopRequested)
{
    if (!stopEvent || !state.CanRun()) {
        state.RunWithoutThreads();
        return;
    }
    // One thread now, which starts the other: the caller waits for one
    // thread's creation only. Its handle tells when it is gone: set once it
    // has returned and run its detach notifications. When it cannot be made,
    // the stream ends at once.
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast,performance-no-int-to-ptr): its handle
    decoder.reset(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &Playback::DecodeThread, this, 0, nullptr)));
    if (!decoder) {
        state.RunWithoutThreads();
    }
}

unsigned __stdcall Playback::DecodeThread(void* playback)
{
    static_cast<Playback*>(playback)->Decode();
    return 0;
}

Playback::~Playback()
{
    Stop();
}

void Playback::Stop()
{
    RequestStop();
    // The feeding thread has been joined by the decoding thread, which started it.
    WaitStopped(INFINITE);
}

void Playback::RequestStop()
{
    stopRequested = true;
    if (stopEvent) {
        SetEvent(stopEvent.get());
    }
}

bool Playback::WaitStopped(DWORD timeoutMs)
{
    return !decoder || WaitForSingleObject(decoder.get(), timeoutMs) == WAIT_OBJECT_0;
}

void Playback::Decode()
{
    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    const bool decoded = FailOnException(false, [this, com] {
        feeder = std::thread(&Playback::Feed, this);
        decoding.Run(com);
        return true;
    });
    if (!decoded) {
        // Memory or the feeding thread could not be had: the stream ends
        // after what was decoded, as after a decoding error.
        state.NoteDecoderFailed(feeder.joinable());
    }
    decoding.CloseSource();
    if (com) {
        CoUninitialize();
    }
    // Only a stop ends the feeding thread.
    if (feeder.joinable()) {
        feeder.join();
    }
}

void Playback::Feed()
{
    // The scheduler's audio class keeps the device fed on a busy machine;
    // Windows without it, or with avrt.dll missing, gets the highest normal priority.
    DWORD taskIndex = 0;
    const HANDLE task = AvSetMmThreadCharacteristicsW(L"Audio", &taskIndex);
    if (task == nullptr) {
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
    }
    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    const bool fed = FailOnException(false, [this] {
        feeding.Run();
        return true;
    });
    // Every COM object goes before the apartment does.
    state.NoteFeederEnded(!fed);
    feeding.CloseDevice();
    if (com) {
        CoUninitialize();
    }
    if (task != nullptr) {
        AvRevertMmThreadCharacteristics(task);
    }
}
