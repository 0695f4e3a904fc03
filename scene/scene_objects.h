#pragma once

#include "render/materials.h"
#include "render/mesh_object.h"

#include <d3d11.h>

#include <vector>

// The objects the scene draws and their one owner: the two materials and the
// two mesh objects, made from the scene's content on one device and released
// together.
class SceneObjects {
public:
    explicit SceneObjects(ID3D11Device* device);
    SceneObjects(const SceneObjects&) = delete;
    SceneObjects& operator=(const SceneObjects&) = delete;

    // The ten scene entries: the cube, then the one pyramid object nine times.
    std::vector<MeshObject*> Entries();

    // Whether both materials have both their shaders.
    bool HasShaders() const;

private:
    // Made in this order: the cube's material, the pyramids', then the cube
    // object and the pyramid object.
    CubeMaterial cubeMaterial;
    PyramidMaterial pyramidMaterial;
    MeshObject cube;
    MeshObject pyramid;
};
