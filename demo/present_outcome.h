#pragma once

#include <windows.h>
#include <dxgi.h>

#include <cstdint>

// What the frame loop does after Present has answered.
enum class PresentOutcome {
    Shown,     // go on drawing; an unexpected failure is treated so too, as before
    Occluded,  // nothing is visible: stop drawing and test at a modest rate
    DeviceLost,
};

PresentOutcome ClassifyPresent(HRESULT result);

// When the next test presentation is due while the window is hidden. Times
// are milliseconds of a monotonic clock.
class OcclusionPacing {
public:
    static constexpr std::uint32_t kTestIntervalMs = 100;

    void Occluded(std::uint64_t nowMs);
    void Visible();

    bool TestDue(std::uint64_t nowMs) const;
    // How long to wait for a window message before the next test; 0 when due.
    std::uint32_t WaitMs(std::uint64_t nowMs) const;

    bool occluded = false;
    std::uint32_t intervalMs = kTestIntervalMs;

private:
    std::uint64_t nextTestMs = 0;
};
