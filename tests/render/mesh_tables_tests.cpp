#include "render/meshes.h"
#include "render/vector_math.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <span>
#include <utility>

namespace {

Vector4 PositionOf(const Vertex& vertex)
{
    return {vertex.position[0], vertex.position[1], vertex.position[2], 0.0f};
}

// Clockwise seen from outside is front-facing for the default rasterizer;
// in this left-handed space that makes (b - a) x (c - a) point outwards.
void ExpectOutwardClockwise(std::span<const Vertex> vertices, std::span<const std::uint16_t> indices,
                            const Vector4& inside)
{
    for (std::size_t t = 0; t < indices.size(); t += 3) {
        const Vector4 a = PositionOf(vertices[indices[t]]);
        const Vector4 b = PositionOf(vertices[indices[t + 1]]);
        const Vector4 c = PositionOf(vertices[indices[t + 2]]);
        const Vector4 normal = Cross3(b - a, c - a);
        const Vector4 centre = (1.0f / 3.0f) * (a + b + c);
        EXPECT_GT(Dot3(normal, centre - inside), 0.0f) << "triangle " << t / 3;
    }
}

TEST(CubeMesh, EveryTriangleFacesOutwardsAndEveryVertexIsUsed)
{
    ExpectOutwardClockwise(kCubeVertices, kCubeIndices, {0, 0, 0, 0});
    const std::set<std::uint16_t> used(kCubeIndices.begin(), kCubeIndices.end());
    EXPECT_EQ(used.size(), kCubeVertices.size());
    EXPECT_EQ(*used.rbegin(), 23);
}

TEST(PyramidMesh, EveryTriangleFacesOutwardsInTheOrderBasePlusZPlusXMinusZMinusX)
{
    ExpectOutwardClockwise(kPyramidVertices, kPyramidIndices, {0, 0.5f, 0, 0});
    const Vector4 sideDirections[] = {{0, 0, 1, 0}, {1, 0, 0, 0}, {0, 0, -1, 0}, {-1, 0, 0, 0}};
    for (int side = 0; side < 4; ++side) {
        const std::size_t t = 6 + 3 * side;
        const Vector4 a = PositionOf(kPyramidVertices[kPyramidIndices[t]]);
        const Vector4 b = PositionOf(kPyramidVertices[kPyramidIndices[t + 1]]);
        const Vector4 c = PositionOf(kPyramidVertices[kPyramidIndices[t + 2]]);
        EXPECT_GT(Dot3(Cross3(b - a, c - a), sideDirections[side]), 0.0f) << "side " << side;
    }
    EXPECT_EQ(kPyramidVertices[4].position[1], 1.5f);
}

// Each face: the four corners carry the whole image; on the four upright
// faces the image stands upright (v = 1 along the bottom edge) and is not
// mirrored (u grows to the viewer's right).
TEST(CubeMesh, EachFaceShowsTheWholeImageUprightAndUnmirrored)
{
    const Vector4 up{0, 1, 0, 0};
    for (int face = 0; face < 6; ++face) {
        std::set<std::pair<float, float>> corners;
        Vector4 outward{};
        for (int k = 0; k < 4; ++k) {
            const Vertex& v = kCubeVertices[4 * face + k];
            corners.insert({v.texCoord[0], v.texCoord[1]});
            outward = outward + PositionOf(v);
        }
        EXPECT_EQ(corners, (std::set<std::pair<float, float>>{{0, 0}, {1, 0}, {1, 1}, {0, 1}})) << face;

        const bool upright = outward.y == 0.0f;
        for (int k = 0; k < 4; ++k) {
            const Vertex& v = kCubeVertices[4 * face + k];
            if (upright) {
                EXPECT_EQ(v.texCoord[1], v.position[1] == -1.0f ? 1.0f : 0.0f) << face;
                // Seen from outside, looking along -outward with +y up.
                const Vector4 right = Cross3(up, -1.0f * outward);
                const float along = Dot3(PositionOf(v), right);
                EXPECT_EQ(v.texCoord[0], along > 0 ? 1.0f : 0.0f) << face;
            } else {
                EXPECT_EQ(v.texCoord[1], v.position[2] == -1.0f ? 1.0f : 0.0f) << face;
            }
        }
    }
}

}  // namespace
