#include "render/camera.h"

namespace {

constexpr float kFieldOfViewY = 0.4f * 3.14f;
constexpr float kNearZ = 0.1f;
constexpr float kFarZ = 1000.0f;

// A transformed point comes back with w = 1; the camera keeps its
// directions and positions with w = 0.
Vector4 AsDirection(const Vector4& v)
{
    return {v.x, v.y, v.z, 0.0f};
}

}  // namespace

Camera::Camera(std::uint32_t width, std::uint32_t height, Engine* engine)
{
    up = {0.0f, 1.0f, 0.0f, 0.0f};
    this->engine = engine;
    target = {0.0f, 0.0f, 0.0f, 0.0f};
    this->height = height;
    eye = {0.0f, 0.0f, -10.0f, 0.0f};
    this->width = width;

    view = MakeLookAt(eye, target, up);
    Resize(width, height);

    MoveTo(0.0f, 0.0f, -10.0f);
    UpdateView();
}

void Camera::Resize(std::uint32_t width, std::uint32_t height)
{
    this->width = width;
    this->height = height;
    const float aspect = static_cast<float>(width) / static_cast<float>(height);
    projection = MakePerspective(kFieldOfViewY, aspect, kNearZ, kFarZ);
}

Vector4 Camera::Orient()
{
    rotation = MakeRotationFromAngles(pitch, yaw, 0.0f);
    const Vector4 turnedForward = AsDirection(TransformPoint(defaultForward, rotation));
    const Vector4 direction = Normalize3(turnedForward);
    right = AsDirection(TransformPoint(defaultRight, rotation));
    forward = turnedForward;
    up = Cross3(forward, right);
    return direction;
}

void Camera::UpdateView()
{
    const Vector4 direction = Orient();
    eye = eye + moveRight * right + moveForward * forward;
    moveRight = 0.0f;
    moveForward = 0.0f;
    target = eye + direction;
    view = MakeLookAt(eye, target, up);
}

void Camera::MoveTo(float x, float y, float z)
{
    view = MakeLookAt(eye, Vector4{0.0f, 0.0f, 0.0f, 0.0f}, up);
    const Vector4 direction = Orient();
    eye = {x, y, z, 0.0f};
    moveRight = 0.0f;
    moveForward = 0.0f;
    target = eye + direction;
}
