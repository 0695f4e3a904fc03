#pragma once

#include "render/meshes.h"
#include "render/vector_math.h"

#include <d3d11.h>
#include <wrl/client.h>

#include <cstddef>
#include <cstdint>

class Material;

// The vertex shader's constant block in slot 0. The matrices are stored
// transposed, so each 64-byte block holds its matrix column by column.
struct ObjectConstants {
    Matrix4 world;
    Matrix4 view;
    Matrix4 projection;
    float time = 0.0f;
    float padding[3] = {};
};
static_assert(sizeof(ObjectConstants) == 208);
static_assert(offsetof(ObjectConstants, world) == 0);
static_assert(offsetof(ObjectConstants, view) == 64);
static_assert(offsetof(ObjectConstants, projection) == 128);
static_assert(offsetof(ObjectConstants, time) == 192);
static_assert(offsetof(ObjectConstants, padding) == 196);

// One drawable thing: a mesh, its material, and the constants of its last draw.
struct MeshObject {
    // Takes over the mesh's buffers (releasing any held before) and its count;
    // the mesh is left empty.
    void TakeMesh(MeshBuffers&& mesh);

    Microsoft::WRL::ComPtr<ID3D11Buffer> vertexBuffer;
    Microsoft::WRL::ComPtr<ID3D11Buffer> indexBuffer;
    std::uint64_t indexCount = 0;
    Material* material = nullptr;
    ObjectConstants constants;
    Microsoft::WRL::ComPtr<ID3D11Buffer> constantBuffer;
};

// The world matrix of a draw: turned about Y by yaw, then about X by pitch,
// then moved by (x, y, z).
Matrix4 MakeWorld(float yaw, float pitch, float x, float y, float z);

// Writes world, view, projection (each transposed) and time; the padding is
// left as it is.
void FillObjectConstants(ObjectConstants& constants, const Matrix4& world, const Matrix4& view,
                         const Matrix4& projection, float time);

// Replaces the object's constant buffer with a new one holding its constants.
void RecreateConstantBuffer(MeshObject& object, ID3D11Device* device);
