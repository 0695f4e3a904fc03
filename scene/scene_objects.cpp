#include "scene/scene_objects.h"

#include "scene/scene_content.h"

namespace {

void MakeMeshObject(MeshObject& object, MeshBuffers mesh, Material& material, ID3D11Device* device)
{
    object.TakeMesh(std::move(mesh));
    object.material = &material;
    RecreateConstantBuffer(object, device);
}

}  // namespace

SceneObjects::SceneObjects(ID3D11Device* device)
    : cubeMaterial(kCubePixelShader, kCubeVertexShader, device, kCubeColours, kCubeTexture),
      pyramidMaterial(kPyramidPixelShader, kPyramidVertexShader, device, kPyramidColours)
{
    MakeMeshObject(cube, CreateCubeMesh(device), cubeMaterial, device);
    MakeMeshObject(pyramid, CreatePyramidMesh(device), pyramidMaterial, device);
}

std::vector<MeshObject*> SceneObjects::Entries()
{
    std::vector<MeshObject*> entries{&cube};
    for (int i = 0; i < 9; ++i) {
        entries.push_back(&pyramid);  // one object, drawn at nine places per row
    }
    return entries;
}

bool SceneObjects::HasShaders() const
{
    return cubeMaterial.vertexShader && cubeMaterial.pixelShader && pyramidMaterial.vertexShader &&
           pyramidMaterial.pixelShader;
}
