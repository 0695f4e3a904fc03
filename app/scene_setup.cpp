#include "app/engine.h"
#include "render/camera.h"
#include "render/materials.h"
#include "render/mesh_object.h"

namespace {

MeshObject* CreateMeshObject(MeshBuffers mesh, Material* material, ID3D11Device* device)
{
    auto* object = new MeshObject{};
    object->TakeMesh(std::move(mesh));
    object->material = material;
    RecreateConstantBuffer(*object, device);
    return object;
}

}  // namespace

void Engine::SetUpScene()
{
    camera = new Camera(static_cast<std::uint32_t>(window.width), static_cast<std::uint32_t>(window.height), this);
    auto* cubeMaterial = new CubeMaterial("shaders\\PixelShader.cso", "shaders\\VertexShader.cso", device);
    auto* pyramidMaterial = new PyramidMaterial("shaders\\PSDefault.cso", "shaders\\VSDefault.cso", device);

    MeshObject* cube = CreateMeshObject(CreateCubeMesh(device), cubeMaterial, device);
    MeshObject* pyramid = CreateMeshObject(CreatePyramidMesh(device), pyramidMaterial, device);

    scene.push_back(cube);
    for (int i = 0; i < 9; ++i) {
        scene.push_back(pyramid);  // one object, drawn at nine places per row
    }
}
