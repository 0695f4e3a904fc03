// Gives the scene's materials the newest pairs of shaders that compiled:
// those compiled since the last time, and all of them on a device made anew
// (the scene's objects made again after a lost device).
#pragma once

#include "demo/live_shaders.h"

#include <d3d11.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct MeshObject;

// What the device made of a material's newest pair: taken, or refused with
// what to tell.
struct ShaderHandOver {
    std::size_t material;
    std::optional<std::string> problem;
};

class ShaderSwap {
public:
    // Entry 0 of `scene` is the cube, 1 the pyramids, as the materials'.
    [[nodiscard]] std::vector<ShaderHandOver> Apply(ID3D11Device* device, const std::vector<MeshObject*>& scene,
                                                    const std::array<LiveMaterial, kLiveMaterialCount>& materials);

private:
    std::array<std::uint64_t, kLiveMaterialCount> given{};  // each material's version last given
};
