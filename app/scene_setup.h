#pragma once

#include <d3d11.h>

#include <vector>

struct MeshObject;

// The ten scene entries: the cube, then the one pyramid object nine times.
std::vector<MeshObject*> CreateSceneObjects(ID3D11Device* device);

// Deletes the objects and materials of a scene made by CreateSceneObjects.
void DestroySceneObjects(std::vector<MeshObject*>& scene);
