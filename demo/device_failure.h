#pragma once

// The exit code when no Direct3D 11 device can be had, at start or after a
// lost device.
inline constexpr int kDeviceFailureExitCode = 1;

// Tells the user that no Direct3D 11 device of feature level 11_0 could be
// created, and what it takes.
void ShowDeviceFailure();
