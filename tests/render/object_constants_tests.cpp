#include "render/mesh_object.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numbers>

namespace {

// The constant block as the vertex shader sees it: 52 little-endian floats.
std::array<float, 52> FloatsOf(const ObjectConstants& constants)
{
    std::array<float, 52> floats{};
    std::memcpy(floats.data(), &constants, sizeof(constants));
    return floats;
}

ObjectConstants ConstantsFor(float yaw, float pitch, float x, float y, float z, float time)
{
    ObjectConstants constants;
    FillObjectConstants(constants, MakeWorld(yaw, pitch, x, y, z), MakeIdentity(), MakeIdentity(), time);
    return constants;
}

TEST(ObjectConstants, WorldAtRestIsTheIdentity)
{
    const auto floats = FloatsOf(ConstantsFor(0, 0, 0, 0, 0, 0));
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(floats[i], (i % 5 == 0) ? 1.0f : 0.0f) << i;
    }
}

TEST(ObjectConstants, TranslationLandsInTheFourthFloatOfEachColumn)
{
    const auto floats = FloatsOf(ConstantsFor(0, 0, 1, 2, 3, 0));
    EXPECT_EQ(floats[3], 1.0f);   // bytes 12-15
    EXPECT_EQ(floats[7], 2.0f);   // bytes 28-31
    EXPECT_EQ(floats[11], 3.0f);  // bytes 44-47
    EXPECT_EQ(floats[15], 1.0f);  // bytes 60-63
    EXPECT_EQ(floats[12], 0.0f);
}

TEST(ObjectConstants, ViewAndProjectionAreStoredTransposed)
{
    Matrix4 view = MakeTranslation(4, 5, 6);
    Matrix4 projection = MakeTranslation(7, 8, 9);
    ObjectConstants constants;
    FillObjectConstants(constants, MakeIdentity(), view, projection, 0.0f);
    const auto floats = FloatsOf(constants);
    EXPECT_EQ(floats[16 + 3], 4.0f);
    EXPECT_EQ(floats[16 + 11], 6.0f);
    EXPECT_EQ(floats[32 + 7], 8.0f);
}

TEST(World, YawTurnsAboutYSoPlusXGoesToMinusZ)
{
    const Matrix4 world = MakeWorld(std::numbers::pi_v<float> / 2, 0, 0, 0, 0);
    EXPECT_NEAR(world.rows[0].x, 0.0f, 1e-6f);
    EXPECT_NEAR(world.rows[0].y, 0.0f, 1e-6f);
    EXPECT_NEAR(world.rows[0].z, -1.0f, 1e-6f);
    EXPECT_EQ(world.rows[0].w, 0.0f);
}

TEST(World, TurnsByYawBeforePitchThenMoves)
{
    const float yaw = 0.8f;
    const float pitch = -1.1f;
    const Matrix4 world = MakeWorld(yaw, pitch, 1, 2, 3);
    const Matrix4 expected = Multiply(Multiply(MakeRotationY(yaw), MakeRotationX(pitch)), MakeTranslation(1, 2, 3));
    const Matrix4 otherOrder = Multiply(Multiply(MakeRotationX(pitch), MakeRotationY(yaw)), MakeTranslation(1, 2, 3));
    EXPECT_EQ(world, expected);
    EXPECT_NE(world, otherOrder);
}

TEST(ObjectConstants, CarryTheTimeExactlyAndLeaveThePaddingZero)
{
    MeshObject object;
    for (float time : {0.0f, -1.0f, 12345.678f}) {
        FillObjectConstants(object.constants, MakeWorld(0.3f, 0.2f, 1, 1, 1), MakeIdentity(), MakeIdentity(), time);
        unsigned char bytes[sizeof(ObjectConstants)];
        std::memcpy(bytes, &object.constants, sizeof(bytes));
        float stored = 0.0f;
        std::memcpy(&stored, bytes + 192, sizeof(stored));
        EXPECT_EQ(stored, time);
        for (int i = 196; i < 208; ++i) {
            EXPECT_EQ(bytes[i], 0) << i;
        }
    }
}

}  // namespace
