#include "render/mesh_object.h"

#include "render/camera.h"
#include "render/graphics.h"
#include "render/materials.h"

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
    D3D11_BUFFER_DESC desc{};
    desc.ByteWidth = sizeof(ObjectConstants);
    desc.Usage = D3D11_USAGE_DYNAMIC;
    desc.BindFlags = D3D11_BIND_CONSTANT_BUFFER;
    desc.CPUAccessFlags = D3D11_CPU_ACCESS_WRITE;
    desc.MiscFlags = 0;
    desc.StructureByteStride = 0;
    D3D11_SUBRESOURCE_DATA initial{};
    initial.pSysMem = &object.constants;
    device->CreateBuffer(&desc, &initial, &object.constantBuffer);
}

void Graphics::DrawObject(MeshObject& object, const Camera& camera, float yaw, float pitch, float x, float y, float z,
                          float time)
{
    Material& material = *object.material;

    ID3D11Buffer* const vertexBuffers[] = {object.vertexBuffer.Get()};
    constexpr UINT stride = sizeof(Vertex);
    constexpr UINT offset = 0;
    context->IASetVertexBuffers(0, 1, vertexBuffers, &stride, &offset);
    context->IASetIndexBuffer(object.indexBuffer.Get(), DXGI_FORMAT_R16_UINT, 0);
    context->PSSetShader(material.pixelShader.Get(), nullptr, 0);
    context->VSSetShader(material.vertexShader.Get(), nullptr, 0);

    FillObjectConstants(object.constants, MakeWorld(yaw, pitch, x, y, z), camera.view, camera.projection, time);
    // A fresh buffer on every draw: the context keeps the previous one alive
    // for the draws already issued with it.
    RecreateConstantBuffer(object, device.Get());

    ID3D11Buffer* const objectBuffers[] = {object.constantBuffer.Get()};
    context->VSSetConstantBuffers(0, 1, objectBuffers);
    ID3D11Buffer* const colourBuffers[] = {material.constantBuffer.Get()};
    context->PSSetConstantBuffers(0, 1, colourBuffers);

    if (auto* textured = dynamic_cast<CubeMaterial*>(&material)) {
        ID3D11ShaderResourceView* const views[] = {textured->textureView.Get()};
        context->PSSetShaderResources(0, 1, views);
        ID3D11SamplerState* const samplers[] = {textured->sampler.Get()};
        context->PSSetSamplers(0, 1, samplers);
    }

    context->IASetInputLayout(material.inputLayout.Get());
    context->DrawIndexed(static_cast<UINT>(object.indexCount), 0, 0);
}
