#include "render/mesh_object.h"

void MeshObject::TakeMesh(MeshBuffers&& mesh)
{
    vertexBuffer = std::move(mesh.vertexBuffer);
    indexBuffer = std::move(mesh.indexBuffer);
    indexCount = mesh.indexCount;
}

Matrix4 MakeWorld(float yaw, float pitch, float x, float y, float z)
{
    return Multiply(Multiply(MakeRotationY(yaw), MakeRotationX(pitch)), MakeTranslation(x, y, z));
}

void FillObjectConstants(ObjectConstants& constants, const Matrix4& world, const Matrix4& view,
                         const Matrix4& projection, float time)
{
    constants.world = Transpose(world);
    constants.view = Transpose(view);
    constants.projection = Transpose(projection);
    constants.time = time;
}

void RecreateConstantBuffer(MeshObject& object, ID3D11Device* device)
{
    object.constantBuffer.Reset();
    if (!device) {
        return;
    }
    const D3D11_BUFFER_DESC desc{.ByteWidth = sizeof(ObjectConstants),
                                 .Usage = D3D11_USAGE_DYNAMIC,
                                 .BindFlags = D3D11_BIND_CONSTANT_BUFFER,
                                 .CPUAccessFlags = D3D11_CPU_ACCESS_WRITE,
                                 .MiscFlags = 0,
                                 .StructureByteStride = 0};
    const D3D11_SUBRESOURCE_DATA initial{.pSysMem = &object.constants};
    device->CreateBuffer(&desc, &initial, &object.constantBuffer);
}
