#include "render/camera.h"
#include "tests/render/math_test_support.h"

#include <cmath>
#include <memory>

namespace {

const Matrix4 kViewFromStart{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 10, 1}}};

Engine* FakeEngine()
{
    // Only remembered by the camera, never followed.
    static int owner;
    return reinterpret_cast<Engine*>(&owner);
}

TEST(Camera, ConstructionLooksFromMinusTenAlongZ)
{
    const auto camera = std::make_unique<Camera>(1920u, 1080u, FakeEngine());
    EXPECT_EQ(camera->view, kViewFromStart);
    EXPECT_EQ(camera->eye, (Vector4{0, 0, -10, 0}));
    EXPECT_EQ(camera->target, (Vector4{0, 0, -9, 0}));
    EXPECT_EQ(camera->up, (Vector4{0, 1, 0, 0}));
    EXPECT_EQ(camera->forward, (Vector4{0, 0, 1, 0}));
    EXPECT_EQ(camera->right, (Vector4{1, 0, 0, 0}));
    EXPECT_EQ(camera->rotation, MakeIdentity());

    const Matrix4& p = camera->projection;
    EXPECT_NEAR(p.rows[1].y, 1.37730f, 1e-5f);
    EXPECT_FLOAT_EQ(p.rows[0].x, p.rows[1].y * 1080.0f / 1920.0f);
    EXPECT_EQ(p.rows[2], (Vector4{0, 0, 1.0001f, 1}));
    EXPECT_EQ(p.rows[3], (Vector4{0, 0, -0.10001f, 0}));
}

TEST(Camera, ViewLagsOneMoveBehindTheEye)
{
    Camera camera(1920, 1080, FakeEngine());
    // The first move still looks from the constructed eye.
    camera.MoveTo(3, 4, 5);
    EXPECT_EQ(camera.view, kViewFromStart);
    EXPECT_EQ(camera.eye, (Vector4{3, 4, 5, 0}));
    EXPECT_EQ(camera.target, (Vector4{3, 4, 6, 0}));

    camera.MoveTo(3, 4, 5);
    const Matrix4 fromNewEye = MakeLookAt({3, 4, 5, 0}, {0, 0, 0, 0}, {0, 1, 0, 0});
    EXPECT_EQ(camera.view, fromNewEye);
    EXPECT_EQ(camera.target, (Vector4{3, 4, 6, 0}));

    camera.MoveTo(-8, 1, 2);
    EXPECT_EQ(camera.view, fromNewEye);
}

TEST(Camera, FollowsTheOrbitOneFrameLate)
{
    Camera camera(1280, 720, FakeEngine());
    Vector4 previous = camera.eye;
    for (int frame = 0; frame < 600; ++frame) {
        const float t = static_cast<float>(frame) / 60.0f;
        camera.MoveTo(15.0f * std::sin(t), 11.5f * std::sin(t), 20.0f * std::cos(t));
        // The view puts the previous eye at the origin and the world origin
        // straight ahead at the previous eye's distance.
        const float distance = std::sqrt(Dot3(previous, previous));
        ASSERT_TRUE(VectorNear(TransformPoint(previous, camera.view), {0, 0, 0, 1}, 1e-4f)) << t;
        ASSERT_TRUE(VectorNear(TransformPoint({0, 0, 0, 0}, camera.view), {0, 0, distance, 1}, 1e-4f)) << t;
        previous = camera.eye;
    }
}

TEST(Camera, UpdateViewAppliesPendingMovesButMoveToDropsThem)
{
    Camera camera(800, 600, FakeEngine());
    camera.moveRight = 2;
    camera.moveForward = 3;
    camera.UpdateView();
    EXPECT_EQ(camera.eye, (Vector4{2, 0, -7, 0}));
    EXPECT_EQ(camera.target, (Vector4{2, 0, -6, 0}));
    EXPECT_EQ(camera.moveRight, 0);
    EXPECT_EQ(camera.moveForward, 0);
    EXPECT_EQ(camera.view, MakeLookAt({2, 0, -7, 0}, {2, 0, -6, 0}, {0, 1, 0, 0}));

    camera.moveRight = 5;
    camera.moveForward = -1;
    camera.MoveTo(1, 1, 1);
    EXPECT_EQ(camera.eye, (Vector4{1, 1, 1, 0}));
    EXPECT_EQ(camera.moveRight, 0);
    EXPECT_EQ(camera.moveForward, 0);
}

TEST(Camera, YawTurnsForwardTowardRight)
{
    Camera camera(800, 600, FakeEngine());
    camera.yaw = 1.5707964f;
    camera.moveForward = 2;
    camera.UpdateView();
    EXPECT_TRUE(VectorNear(camera.forward, {1, 0, 0, 0}, 1e-6f));
    EXPECT_TRUE(VectorNear(camera.right, {0, 0, -1, 0}, 1e-6f));
    EXPECT_TRUE(VectorNear(camera.up, {0, 1, 0, 0}, 1e-6f));
    EXPECT_TRUE(VectorNear(camera.eye, {2, 0, -10, 0}, 1e-6f));
    EXPECT_TRUE(VectorNear(camera.target, {3, 0, -10, 0}, 1e-6f));
}

TEST(Camera, ZeroHeightLeavesAFiniteDegenerateProjection)
{
    Camera camera(640, 0, FakeEngine());
    EXPECT_NEAR(camera.projection.rows[1].y, 1.37730f, 1e-5f);
    EXPECT_EQ(camera.projection.rows[0].x, 0.0f);
    EXPECT_EQ(camera.view, kViewFromStart);
}

}  // namespace
