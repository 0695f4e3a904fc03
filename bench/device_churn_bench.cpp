// The library's memory across many changes of device, where a long run's
// growth would come from if a device left something behind: the looping
// music plays through AudioLibrary while devices come and go, and the bytes
// in use on the process's heaps (ours and the system's DLLs') are printed
// every few seconds.
//   device_churn_bench FILE [SECONDS]          stand-in devices that each
//                                              fail 30 ms after they open
//   device_churn_bench FILE SECONDS --system   the default output device,
//                                              while something else replaces
//                                              the sink (bench/soak.sh does)
// Prints figures; asserts nothing.
#include "audio/audio_library.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

// Plays nothing and fails 30 ms after it opened, as a device taken away.
class ShortLivedDevice final : public OutputDevice {
public:
    explicit ShortLivedDevice(const PcmFormat& pcm) : format(pcm) {}

    std::uint32_t BufferFrames() const override { return format.sampleRate / 5; }
    std::optional<std::uint32_t> FreeFrames() override
    {
        return GetTickCount64() - opening > 30 ? std::nullopt : std::optional<std::uint32_t>(BufferFrames() / 2);
    }
    bool Queue(const std::uint8_t*, std::uint32_t) override { return true; }
    bool Start() override { return true; }
    bool Stop() override { return true; }
    bool Discard() override { return true; }
    std::optional<DevicePosition> PlayedFrames() override
    {
        return DevicePosition{.frames = (GetTickCount64() - opening) * format.sampleRate / 1000};
    }
    HANDLE ReadyEvent() const override { return nullptr; }

private:
    const PcmFormat format;
    const ULONGLONG opening = GetTickCount64();
};

std::uint64_t HeapBytesInUse()
{
    HANDLE heaps[256];
    const DWORD count = std::min<DWORD>(GetProcessHeaps(256, heaps), 256);
    std::uint64_t total = 0;
    for (DWORD i = 0; i < count; ++i) {
        PROCESS_HEAP_ENTRY entry{};
        HeapLock(heaps[i]);
        while (HeapWalk(heaps[i], &entry)) {
            total += (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0 ? entry.cbData : 0;
        }
        HeapUnlock(heaps[i]);
    }
    return total;
}

bool Present()
{
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: device_churn_bench FILE [SECONDS] [--system]\n");
        return 2;
    }
    const bool system = argc > 3 && std::strcmp(argv[3], "--system") == 0;
    const DWORD seconds = argc > 2 ? static_cast<DWORD>(std::atoi(argv[2])) : 60;
    auto opened = std::make_shared<std::atomic<int>>(0);
    DeviceOpener standIn = [opened](const PcmFormat& format) {
        ++*opened;
        return std::make_unique<ShortLivedDevice>(format);
    };
    AudioLibrary library(Present, system ? DeviceOpener(OpenDefaultOutputDevice) : standIn);
    const std::string file = argv[1];
    const std::uint32_t stream = library.Init(-1) ? library.CreateStream({file.begin(), file.end()}, true) : 0;
    if (stream == 0 || !library.Start(stream)) {
        std::printf("%s does not play\n", argv[1]);
        return 1;
    }
    std::uint64_t low = UINT64_MAX;
    std::uint64_t high = 0;
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    for (DWORD elapsed = 0; elapsed < seconds; elapsed += 5) {
        Sleep(5000);
        last = HeapBytesInUse();
        first = first == 0 ? last : first;
        low = std::min(low, last);
        high = std::max(high, last);
        std::printf("%4lu s: heap in use %llu bytes%s\n", elapsed + 5, static_cast<unsigned long long>(last),
                    system ? "" : (", " + std::to_string(opened->load()) + " devices opened").c_str());
        std::fflush(stdout);
    }
    library.Free();
    std::printf("heap in use: first %llu, last %llu, least %llu, most %llu bytes%s\n",
                static_cast<unsigned long long>(first), static_cast<unsigned long long>(last),
                static_cast<unsigned long long>(low), static_cast<unsigned long long>(high),
                system ? "" : (" over " + std::to_string(opened->load()) + " devices").c_str());
    return 0;
}
