#include "render/meshes.h"

#include <span>

const std::array<Vertex, 24> kCubeVertices = {{
    // z = -1
    {{-1, -1, -1}, {0, 1}},
    {{-1, 1, -1}, {0, 0}},
    {{1, 1, -1}, {1, 0}},
    {{1, -1, -1}, {1, 1}},
    // z = 1
    {{-1, -1, 1}, {1, 1}},
    {{1, -1, 1}, {0, 1}},
    {{1, 1, 1}, {0, 0}},
    {{-1, 1, 1}, {1, 0}},
    // y = 1
    {{-1, 1, -1}, {0, 1}},
    {{-1, 1, 1}, {0, 0}},
    {{1, 1, 1}, {1, 0}},
    {{1, 1, -1}, {1, 1}},
    // y = -1
    {{-1, -1, -1}, {1, 1}},
    {{1, -1, -1}, {0, 1}},
    {{1, -1, 1}, {0, 0}},
    {{-1, -1, 1}, {1, 0}},
    // x = -1
    {{-1, -1, 1}, {0, 1}},
    {{-1, 1, 1}, {0, 0}},
    {{-1, 1, -1}, {1, 0}},
    {{-1, -1, -1}, {1, 1}},
    // x = 1
    {{1, -1, -1}, {0, 1}},
    {{1, 1, -1}, {0, 0}},
    {{1, 1, 1}, {1, 0}},
    {{1, -1, 1}, {1, 1}},
}};

const std::array<std::uint16_t, 36> kCubeIndices = {
    0,  1,  2,  0,  2,  3,  4,  5,  6,  4,  6,  7,  8,  9,  10, 8,  10, 11,
    12, 13, 14, 12, 14, 15, 16, 17, 18, 16, 18, 19, 20, 21, 22, 20, 22, 23,
};

const std::array<Vertex, 5> kPyramidVertices = {{
    {{-1, 0, 1}, {0, 0}},
    {{1, 0, 1}, {0, 0}},
    {{-1, 0, -1}, {0, 0}},
    {{1, 0, -1}, {0, 0}},
    {{0, 1.5f, 0}, {0, 0}},
}};

const std::array<std::uint16_t, 18> kPyramidIndices = {
    0, 2, 1, 1, 2, 3,  // base, facing down
    0, 1, 4,           // +z
    1, 3, 4,           // +x
    3, 2, 4,           // -z
    2, 0, 4,           // -x
};

namespace {

template <typename Element>
Microsoft::WRL::ComPtr<ID3D11Buffer> CreateFilledBuffer(ID3D11Device* device, std::span<const Element> data,
                                                        UINT bindFlags)
{
    const D3D11_BUFFER_DESC desc{.ByteWidth = static_cast<UINT>(data.size_bytes()),
                                 .Usage = D3D11_USAGE_DEFAULT,
                                 .BindFlags = bindFlags,
                                 .CPUAccessFlags = 0,
                                 .MiscFlags = 0,
                                 .StructureByteStride = sizeof(Element)};
    const D3D11_SUBRESOURCE_DATA initial{.pSysMem = data.data()};
    Microsoft::WRL::ComPtr<ID3D11Buffer> buffer;
    device->CreateBuffer(&desc, &initial, &buffer);
    return buffer;
}

template <std::size_t VertexCount, std::size_t IndexCount>
MeshBuffers CreateMesh(ID3D11Device* device, const std::array<Vertex, VertexCount>& vertices,
                       const std::array<std::uint16_t, IndexCount>& indices)
{
    MeshBuffers mesh;
    if (device) {
        mesh.vertexBuffer = CreateFilledBuffer<Vertex>(device, vertices, D3D11_BIND_VERTEX_BUFFER);
        mesh.indexBuffer = CreateFilledBuffer<std::uint16_t>(device, indices, D3D11_BIND_INDEX_BUFFER);
    }
    mesh.indexCount = IndexCount;
    return mesh;
}

}  // namespace

MeshBuffers CreateCubeMesh(ID3D11Device* device)
{
    return CreateMesh(device, kCubeVertices, kCubeIndices);
}

MeshBuffers CreatePyramidMesh(ID3D11Device* device)
{
    return CreateMesh(device, kPyramidVertices, kPyramidIndices);
}
