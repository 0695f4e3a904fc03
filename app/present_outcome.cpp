#include "app/present_outcome.h"

#include "app/device_recovery.h"
#include "app/engine.h"

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

HRESULT PresentOnSwapChain(IDXGISwapChain& swapChain, UINT syncInterval, UINT flags)
{
    return swapChain.Present(syncInterval, flags);
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

void Engine::ActOnPresent(HRESULT result)
{
    switch (ClassifyPresent(result)) {
    case PresentOutcome::Shown:
        occlusion.Visible();
        break;
    case PresentOutcome::Occluded:
        occlusion.Occluded(GetTickCount64());
        break;
    case PresentOutcome::DeviceLost:
        // The music plays on meanwhile: the next frame is drawn at its time.
        occlusion.Visible();
        if (!RecoverDevice()) {
            reportDeviceFailure();
            PostQuitMessage(kDeviceFailureExitCode);
        }
        break;
    }
}

void Engine::WaitWhileOccluded()
{
    // No frame runs to see Escape while the window is hidden.
    if (window.keyboard.keyStates.test(VK_ESCAPE)) {
        PostQuitMessage(0);
        return;
    }
    const std::uint64_t now = GetTickCount64();
    if (!occlusion.TestDue(now)) {
        // Any window message ends the wait, so a quit is handled at once.
        MsgWaitForMultipleObjectsEx(0, nullptr, occlusion.WaitMs(now), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        return;
    }
    ActOnPresent(present(*window.graphics->swapChain.Get(), 0, DXGI_PRESENT_TEST));
}
