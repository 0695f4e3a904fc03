#pragma once

#include "render/colour_table.h"

// What the scene shows, in one place: the files it loads, the colours of its
// objects, the background, the camera's orbit and where the objects stand.
// How the numbers combine into a frame at time t is scene/frame_transforms.cpp.

// Files, relative to the working directory: the demo makes its own folder,
// the run folder, its working directory; the capture program is started there.
inline constexpr const char* kCubePixelShader = "shaders\\PixelShader.cso";
inline constexpr const char* kCubeVertexShader = "shaders\\VertexShader.cso";
inline constexpr const char* kPyramidPixelShader = "shaders\\PSDefault.cso";
inline constexpr const char* kPyramidVertexShader = "shaders\\VSDefault.cso";
inline constexpr const wchar_t* kCubeTexture = L"textures/grass.jpg";
inline constexpr const wchar_t* kMusicFile = L"music.mp3";
// Read once at start when it is there; without it the frame is the closed forms'.
inline constexpr const wchar_t* kTracksFile = L"shaders\\tracks.txt";

// The colour tables handed to each material's pixel shader. The pyramid's
// shader gives entries 0 and 1 to the base's two triangles and 2 to 5 to the
// sides towards +z, +x, -z and -x; the rest are unused. The cube's table (the
// same six colours, two entries each) is uploaded with its material, but its
// shader shows only the texture and reads none of it.
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

// The camera's orbit: the eye at (x sin t, y sin t, z cos t), looking at the
// origin; each frame's view is taken from the previous frame's eye.
inline constexpr float kOrbitX = 15.0f;
inline constexpr float kOrbitY = 11.5f;
inline constexpr float kOrbitZ = 20.0f;

// The cube at the origin swings up to this many radians each way about the
// y and x axes, as sin(t / 2).
inline constexpr float kCubeSwing = 1.2f;

// The four rows of nine pyramids, arches in the planes y = 0 and x = 0:
// pyramid i stands at i x spacing - offset along its row's axis (x or y), and
// |sin(i x step)| x amplitude out from that axis along +z or -z.
inline constexpr float kRowSpacing = 4.4444447f;  // about 40 / 9
inline constexpr double kRowOffset = 20.6666;
inline constexpr double kHeightAngleStep = 0.3490658503888889;  // 3.1415926535 / 9
inline constexpr double kHeightAmplitude = 15.0;
