#pragma once

#include "render/vector_math.h"

#include <cstdint>

class Engine;

// The one camera of the run: eye, orientation and the view and projection
// matrices that every draw reads. Members are public because the draw code
// copies view and projection straight into its constants.
class Camera {
public:
    // engine: the demo's engine that owns the camera, or null (the capture
    // program, the tests); only remembered, never used.
    Camera(std::uint32_t width, std::uint32_t height, Engine* engine);

    // Frames of a new size: the projection takes its aspect; the eye and
    // the view, with their one-frame lag, stay as they are.
    void Resize(std::uint32_t width, std::uint32_t height);

    // Applies pitch, yaw and the pending moves, then looks from eye along
    // the rotated forward direction.
    void UpdateView();

    // The frame's camera position: the view is rebuilt looking at the origin
    // from the eye the previous call left, then the eye moves to (x, y, z),
    // so a new position shows one call later. `target` is left one unit from
    // the new eye along the direction pitch and yaw give, not at the origin
    // the view looks at; pending moves are dropped, not applied.
    void MoveTo(float x, float y, float z);

    Vector4 eye;
    Vector4 target;
    Vector4 up;
    Vector4 defaultForward{0.0f, 0.0f, 1.0f, 0.0f};
    Vector4 defaultRight{1.0f, 0.0f, 0.0f, 0.0f};
    Vector4 forward{0.0f, 0.0f, 1.0f, 0.0f};
    Vector4 right{1.0f, 0.0f, 0.0f, 0.0f};
    Matrix4 rotation;
    Matrix4 view;
    Matrix4 projection;
    float moveRight = 0.0f;
    float moveForward = 0.0f;
    float yaw = 0.0f;
    float pitch = 0.0f;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    Engine* engine = nullptr;

private:
    // Rebuilds rotation, right, forward and up from pitch and yaw and
    // returns the unit viewing direction.
    Vector4 Orient();
};
