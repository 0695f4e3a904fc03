#pragma once

#include "render/colour_table.h"

// What the scene shows, in one place: the files it loads, the colours of its
// objects, the background, the camera's orbit and where the objects stand.
// How the numbers combine into a frame at time t is scene/frame_transforms.cpp.

// Files, relative to the run folder.
inline constexpr const char* kCubePixelShader = "shaders\\PixelShader.cso";
inline constexpr const char* kCubeVertexShader = "shaders\\VertexShader.cso";
inline constexpr const char* kPyramidPixelShader = "shaders\\PSDefault.cso";
inline constexpr const char* kPyramidVertexShader = "shaders\\VSDefault.cso";
inline constexpr const wchar_t* kCubeTexture = L"textures/grass.jpg";
inline constexpr const wchar_t* kMusicFile = L"music.mp3";

// The colour of each of a mesh's faces, as its pixel shader reads them: the
// cube gives each of the pyramid's six colours to two triangles in a row.
inline constexpr ColourTable kCubeColours = {{
    {1, 0, 1, 0},
    {1, 0, 1, 0},
    {1, 0, 0, 0},
    {1, 0, 0, 0},
    {0, 1, 0, 0},
    {0, 1, 0, 0},
    {0, 0, 1, 0},
    {0, 0, 1, 0},
    {1, 1, 0, 0},
    {1, 1, 0, 0},
    {0, 1, 1, 0},
    {0, 1, 1, 0},
}};

inline constexpr ColourTable kPyramidColours = {{
    {1, 0, 1, 0},
    {1, 0, 0, 0},
    {0, 1, 0, 0},
    {0, 0, 1, 0},
    {1, 1, 0, 0},
    {0, 1, 1, 0},
    {0, 0, 0, 0},
    {0, 0, 0, 0},
    {0, 0, 0, 0},
    {0, 0, 0, 0},
    {0, 0, 0, 0},
    {0, 0, 0, 0},
}};

// The background: red and blue fixed, green pulsing between 0 and the scale.
inline constexpr float kClearRed = 0.1f;
inline constexpr float kClearBlue = 0.1f;
inline constexpr float kClearGreenScale = 0.55f;

// The camera's orbit: the eye at (x sin t, y sin t, z cos t), looking at the origin.
inline constexpr float kOrbitX = 15.0f;
inline constexpr float kOrbitY = 11.5f;
inline constexpr float kOrbitZ = 20.0f;

// The cube at the origin swings by this many radians about two axes.
inline constexpr float kCubeSwing = 1.2f;

// The four rows of nine pyramids: pyramid i stands at i x spacing - offset
// along its row, and |sin(i x step)| x amplitude from the row's plane.
inline constexpr float kRowSpacing = 4.4444447f;  // about 40 / 9
inline constexpr double kRowOffset = 20.6666;
inline constexpr double kHeightAngleStep = 0.3490658503888889;  // 3.1415926535 / 9
inline constexpr double kHeightAmplitude = 15.0;
