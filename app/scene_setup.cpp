#include "app/engine.h"
#include "app/scene_setup.h"
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

std::vector<MeshObject*> CreateSceneObjects(ID3D11Device* device)
{
    auto* cubeMaterial = new CubeMaterial("shaders\\PixelShader.cso", "shaders\\VertexShader.cso", device);
    auto* pyramidMaterial = new PyramidMaterial("shaders\\PSDefault.cso", "shaders\\VSDefault.cso", device);

    MeshObject* cube = CreateMeshObject(CreateCubeMesh(device), cubeMaterial, device);
    MeshObject* pyramid = CreateMeshObject(CreatePyramidMesh(device), pyramidMaterial, device);

    std::vector<MeshObject*> scene{cube};
    for (int i = 0; i < 9; ++i) {
        scene.push_back(pyramid);  // one object, drawn at nine places per row
    }
    return scene;
}

void DestroySceneObjects(std::vector<MeshObject*>& scene)
{
    // The scene holds the cube object once and the pyramid object nine times.
    if (scene.size() >= 2) {
        for (MeshObject* object : {scene[0], scene[1]}) {
            delete object->material;
            delete object;
        }
    }
    scene.clear();
    scene.shrink_to_fit();
}

void Engine::SetUpScene()
{
    camera = new Camera(static_cast<std::uint32_t>(window.width), static_cast<std::uint32_t>(window.height), this);
    scene = CreateSceneObjects(device);
}
