#pragma once

#include <d3d11.h>
#include <wrl/client.h>

#include <array>
#include <cstdint>

// One vertex of either mesh: object-space position and texture coordinate.
struct Vertex {
    float position[3];
    float texCoord[2];
};
static_assert(sizeof(Vertex) == 20);

// What a mesh builder returns: the two buffers and the index count.
struct MeshBuffers {
    MeshBuffers() = default;
    MeshBuffers(MeshBuffers&&) noexcept = default;
    MeshBuffers& operator=(MeshBuffers&&) noexcept = default;
    MeshBuffers(const MeshBuffers&) = delete;
    MeshBuffers& operator=(const MeshBuffers&) = delete;

    Microsoft::WRL::ComPtr<ID3D11Buffer> vertexBuffer;
    Microsoft::WRL::ComPtr<ID3D11Buffer> indexBuffer;
    std::uint64_t indexCount = 0;
};

// A cube of edge 2 centred on the origin, four vertices to a face so that
// each face carries the whole image; every triangle is clockwise seen from
// outside.
extern const std::array<Vertex, 24> kCubeVertices;
extern const std::array<std::uint16_t, 36> kCubeIndices;

// A square pyramid on the plane y = 0, apex 1.5 above the base's centre.
// Triangles: the base (two), then the sides towards +z, +x, -z and -x.
extern const std::array<Vertex, 5> kPyramidVertices;
extern const std::array<std::uint16_t, 18> kPyramidIndices;

MeshBuffers CreateCubeMesh(ID3D11Device* device);
MeshBuffers CreatePyramidMesh(ID3D11Device* device);
