#include "scene/frame_transforms.h"

#include "scene/scene_content.h"

#include <cmath>

ClearColour FrameClearColour(float t, const TrackValues& tracks)
{
    const float green = (std::sin(t) * 0.5f + 0.5f) * kClearGreenScale;
    return {{tracks.Or(NamedTrack::ClearR, kClearRed), tracks.Or(NamedTrack::ClearG, green),
             tracks.Or(NamedTrack::ClearB, kClearBlue), 1.0f}};
}

EyePosition FrameEyePosition(float t, const TrackValues& tracks)
{
    return {tracks.Or(NamedTrack::CameraX, kOrbitX * std::sin(t)),
            tracks.Or(NamedTrack::CameraY, kOrbitY * std::sin(t)),
            tracks.Or(NamedTrack::CameraZ, kOrbitZ * std::cos(t))};
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

std::array<ObjectPlacement, kObjectsPerFrame> FramePlacements(float t, const TrackValues& tracks)
{
    std::array<ObjectPlacement, kObjectsPerFrame> placements{};
    const float cubeSine = std::sin(0.5f * t);
    const float shaderTime = tracks.Or(NamedTrack::Time, t);
    placements[0] = {0,
                     tracks.Or(NamedTrack::CubeYaw, -kCubeSwing * cubeSine),
                     tracks.Or(NamedTrack::CubePitch, kCubeSwing * cubeSine),
                     tracks.Or(NamedTrack::CubeX, 0.0f),
                     tracks.Or(NamedTrack::CubeY, 0.0f),
                     tracks.Or(NamedTrack::CubeZ, 0.0f),
                     shaderTime};

    const float spin = tracks.Or(NamedTrack::PyramidsSpin, t);
    std::size_t next = 1;
    for (int row = 1; row <= 4; ++row) {
        for (int i = 1; i <= 9; ++i) {
            const bool odd = (i % 2) != 0;
            const float yaw = odd ? static_cast<float>(i) + spin : static_cast<float>(i) - spin;
            const float pitch = odd ? spin : -spin;
            const float c = RowCoordinate(i);
            const float h = RowHeight(i);
            ObjectPlacement placement{static_cast<std::size_t>(i), yaw, pitch, 0.0f, 0.0f, 0.0f, shaderTime};
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
