#include "scene/frame_transforms.h"

#include "scene/scene_content.h"

#include <cmath>

ClearColour FrameClearColour(float t)
{
    const float green = (std::sin(t) * 0.5f + 0.5f) * kClearGreenScale;
    return {{kClearRed, green, kClearBlue, 1.0f}};
}

EyePosition FrameEyePosition(float t)
{
    return {kOrbitX * std::sin(t), kOrbitY * std::sin(t), kOrbitZ * std::cos(t)};
}

float RowCoordinate(int i)
{
    const float along = static_cast<float>(i) * kRowSpacing;
    return static_cast<float>(static_cast<double>(along) - kRowOffset);
}

float RowHeight(int i)
{
    return static_cast<float>(std::fabs(std::sin(i * kHeightAngleStep)) * kHeightAmplitude);
}

std::array<ObjectPlacement, kObjectsPerFrame> FramePlacements(float t)
{
    std::array<ObjectPlacement, kObjectsPerFrame> placements{};
    const float cubeSine = std::sin(0.5f * t);
    placements[0] = {0, -kCubeSwing * cubeSine, kCubeSwing * cubeSine, 0.0f, 0.0f, 0.0f, t};

    std::size_t next = 1;
    for (int row = 1; row <= 4; ++row) {
        for (int i = 1; i <= 9; ++i) {
            const bool odd = (i % 2) != 0;
            const float yaw = odd ? static_cast<float>(i) + t : static_cast<float>(i) - t;
            const float pitch = odd ? t : -t;
            const float c = RowCoordinate(i);
            const float h = RowHeight(i);
            ObjectPlacement placement{static_cast<std::size_t>(i), yaw, pitch, 0.0f, 0.0f, 0.0f, t};
            switch (row) {
            case 1:  // plane y = 0, +z side
                placement.x = c;
                placement.z = h;
                break;
            case 2:  // plane y = 0, -z side
                placement.x = c;
                placement.z = -h;
                break;
            case 3:  // plane x = 0, +z side
                placement.y = c;
                placement.z = h;
                break;
            default:  // plane x = 0, -z side
                placement.y = c;
                placement.z = -h;
                break;
            }
            placements[next++] = placement;
        }
    }
    return placements;
}
