// Gives the scene's materials the newest shaders that compiled: those
// compiled since the last time, and all of them on another device (the
// scene's objects made again after a lost device).
#pragma once

#include "demo/live_shaders.h"

#include <d3d11.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct MeshObject;

// A compiled shader the device did not take: its source and what to tell.
struct RefusedShader {
    std::size_t source;
    std::string message;
};

class ShaderSwap {
public:
    // Entry 0 of `scene` is the cube, 1 the pyramids.
    [[nodiscard]] std::vector<RefusedShader> Apply(ID3D11Device* device, const std::vector<MeshObject*>& scene,
                                                   const std::array<LiveSource, kLiveSourceCount>& sources);

private:
    std::array<std::uint64_t, kLiveSourceCount> given{};  // each source's version last given
    ID3D11Device* givenTo = nullptr;                      // not owning: only compared
};
