#include "scene/frame_transforms.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

std::size_t PlacementIndex(int row, int i)
{
    return 1 + static_cast<std::size_t>((row - 1) * 9 + (i - 1));
}

TEST(FramePlacements, DrawTheCubeThenFourRowsOfEntriesOneToNine)
{
    const auto placements = FramePlacements(1.25f);
    EXPECT_EQ(placements[0].sceneEntry, 0u);
    for (int row = 1; row <= 4; ++row) {
        for (int i = 1; i <= 9; ++i) {
            EXPECT_EQ(placements[PlacementIndex(row, i)].sceneEntry, std::size_t(i)) << "row " << row;
        }
    }
}

TEST(FramePlacements, NeighboursSpinInOppositeDirections)
{
    const float t = 0.7f;
    const auto placements = FramePlacements(t);
    for (int row = 1; row <= 4; ++row) {
        for (int i = 1; i <= 9; ++i) {
            const ObjectPlacement& p = placements[PlacementIndex(row, i)];
            if (i % 2 != 0) {
                EXPECT_EQ(p.yaw, float(i) + t);
                EXPECT_EQ(p.pitch, t);
            } else {
                EXPECT_EQ(p.yaw, float(i) - t);
                EXPECT_EQ(p.pitch, -t);
            }
            EXPECT_EQ(p.time, t);
        }
    }
}

TEST(FramePlacements, RowsLieOnTheirPlanesOnBothSidesOfZ)
{
    const auto placements = FramePlacements(2.0f);
    for (int i = 1; i <= 9; ++i) {
        const float c = RowCoordinate(i);
        const float h = RowHeight(i);
        const ObjectPlacement& row1 = placements[PlacementIndex(1, i)];
        const ObjectPlacement& row2 = placements[PlacementIndex(2, i)];
        const ObjectPlacement& row3 = placements[PlacementIndex(3, i)];
        const ObjectPlacement& row4 = placements[PlacementIndex(4, i)];
        EXPECT_EQ((std::array{row1.x, row1.y, row1.z}), (std::array{c, 0.0f, h}));
        EXPECT_EQ((std::array{row2.x, row2.y, row2.z}), (std::array{c, 0.0f, -h}));
        EXPECT_EQ((std::array{row3.x, row3.y, row3.z}), (std::array{0.0f, c, h}));
        EXPECT_EQ((std::array{row4.x, row4.y, row4.z}), (std::array{0.0f, c, -h}));
    }
}

TEST(RowTerms, MatchTheTabulatedArch)
{
    const float coordinates[] = {-16.222155f, -11.777711f, -7.333266f, -2.888821f, 1.555623f,
                                 6.000068f,   10.444512f,  14.888957f, 19.333401f};
    const float heights[] = {5.130302f,  9.641814f,  12.990381f, 14.772117f,
                             14.772117f, 12.990381f, 9.641814f,  5.130302f};
    for (int i = 1; i <= 9; ++i) {
        EXPECT_NEAR(RowCoordinate(i), coordinates[i - 1], 1e-5f) << i;
    }
    for (int i = 1; i <= 8; ++i) {
        EXPECT_NEAR(RowHeight(i), heights[i - 1], 1e-5f) << i;
    }
}

TEST(RowTerms, UseSinglePrecisionSpacingAndDoublePrecisionHeight)
{
    // The row coordinate is a float product widened for the subtraction.
    EXPECT_EQ(RowCoordinate(7), float(double(7 * 4.4444447f) - 20.6666));
    EXPECT_NE(RowCoordinate(7), 7 * 4.4444447f - 20.6666f);
    // The last pyramid of each row is not exactly on the plane: the angle
    // step is a truncated pi over nine, so its sine is tiny but not zero.
    const float last = RowHeight(9);
    EXPECT_GT(last, 1.0e-9f);
    EXPECT_LT(last, 2.0e-9f);
    EXPECT_EQ(last, float(std::fabs(std::sin(9 * 0.3490658503888889)) * 15.0));
}

TEST(FrameAtTimeZero, RestsTheCubeAndFacesTheRowsAlongTheirIndex)
{
    const ClearColour clear = FrameClearColour(0.0f);
    EXPECT_EQ(clear.rgba[0], 0.1f);
    EXPECT_FLOAT_EQ(clear.rgba[1], 0.275f);
    EXPECT_EQ(clear.rgba[2], 0.1f);
    EXPECT_EQ(clear.rgba[3], 1.0f);

    const EyePosition eye = FrameEyePosition(0.0f);
    EXPECT_EQ(eye.x, 0.0f);
    EXPECT_EQ(eye.y, 0.0f);
    EXPECT_EQ(eye.z, 20.0f);

    const auto placements = FramePlacements(0.0f);
    EXPECT_EQ(placements[0].yaw, 0.0f);
    EXPECT_EQ(placements[0].pitch, 0.0f);
    for (int i = 1; i <= 9; ++i) {
        EXPECT_EQ(placements[PlacementIndex(1, i)].yaw, float(i));
        EXPECT_EQ(placements[PlacementIndex(1, i)].pitch, 0.0f);
    }
}

TEST(FrameAtTime, FollowsTheClosedFormsWithNegativeTimeUnchanged)
{
    for (float t : {-1.0f, -37.5f, 3.0f, 61.25f}) {
        const ClearColour clear = FrameClearColour(t);
        EXPECT_EQ(clear.rgba[1], (std::sin(t) * 0.5f + 0.5f) * 0.55f);
        EXPECT_GE(clear.rgba[1], 0.0f);
        EXPECT_LE(clear.rgba[1], 0.55f);

        const EyePosition eye = FrameEyePosition(t);
        EXPECT_EQ(eye.x, 15.0f * std::sin(t));
        EXPECT_EQ(eye.y, 11.5f * std::sin(t));
        EXPECT_EQ(eye.z, 20.0f * std::cos(t));

        const auto placements = FramePlacements(t);
        EXPECT_EQ(placements[0].yaw, -1.2f * std::sin(0.5f * t));
        EXPECT_EQ(placements[0].pitch, 1.2f * std::sin(0.5f * t));
        EXPECT_EQ((std::array{placements[0].x, placements[0].y, placements[0].z}), (std::array{0.0f, 0.0f, 0.0f}));
        for (const ObjectPlacement& p : placements) {
            EXPECT_EQ(p.time, t);
        }
        EXPECT_EQ(placements[PlacementIndex(2, 1)].pitch, t);
    }
}

}  // namespace
