#include "demo/present_outcome.h"

#include <algorithm>

PresentOutcome ClassifyPresent(HRESULT result)
{
    if (result == DXGI_STATUS_OCCLUDED) {
        return PresentOutcome::Occluded;
    }
    if (result == DXGI_ERROR_DEVICE_REMOVED || result == DXGI_ERROR_DEVICE_RESET) {
        return PresentOutcome::DeviceLost;
    }
    return PresentOutcome::Shown;
}

void OcclusionPacing::Occluded(std::uint64_t nowMs)
{
    occluded = true;
    nextTestMs = nowMs + intervalMs;
}

void OcclusionPacing::Visible()
{
    occluded = false;
}

bool OcclusionPacing::TestDue(std::uint64_t nowMs) const
{
    return nowMs >= nextTestMs;
}

std::uint32_t OcclusionPacing::WaitMs(std::uint64_t nowMs) const
{
    if (TestDue(nowMs)) {
        return 0;
    }
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(nextTestMs - nowMs, intervalMs));
}
