#pragma once

#include "scene/track_player.h"

#include <array>
#include <cstddef>

// Everything a frame draws is a closed-form function of the frame time t;
// these functions are that choreography, free of any device call. A named
// track in force replaces its one number, used as the frame uses its own.

struct ClearColour {
    float rgba[4];
};

struct EyePosition {
    float x, y, z;
};

// One draw of the frame: which scene entry, how it is turned and where.
struct ObjectPlacement {
    std::size_t sceneEntry;
    float yaw;    // about the Y axis, radians
    float pitch;  // about the X axis, radians
    float x, y, z;
    float time;
};

inline constexpr std::size_t kObjectsPerFrame = 37;  // the cube, then four rows of nine pyramids

ClearColour FrameClearColour(float t, const TrackValues& tracks = {});
EyePosition FrameEyePosition(float t, const TrackValues& tracks = {});

// Position of pyramid i (1 to 9) along its row's axis, and its distance out
// from that axis along z.
float RowCoordinate(int i);
float RowHeight(int i);

std::array<ObjectPlacement, kObjectsPerFrame> FramePlacements(float t, const TrackValues& tracks = {});
