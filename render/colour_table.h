#pragma once

#include <array>

// One entry of a material's colour table, as the pixel shaders read it.
struct ColourEntry {
    float r, g, b, a;
};
using ColourTable = std::array<ColourEntry, 12>;
static_assert(sizeof(ColourTable) == 192);
