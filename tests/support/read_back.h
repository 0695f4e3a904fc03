#pragma once

#include <d3d11.h>

#include <cstdint>
#include <vector>

// A copy of a 32-bit-per-pixel render target's pixels, read through a
// staging texture.
struct ReadBackImage {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> bytes;  // four bytes a pixel, rows packed

    struct Pixel {
        std::uint8_t c0, c1, c2, c3;  // in the texture's own channel order
    };
    Pixel At(std::uint32_t x, std::uint32_t y) const
    {
        const std::uint8_t* p = &bytes[(std::size_t(y) * width + x) * 4];
        return {p[0], p[1], p[2], p[3]};
    }
};

ReadBackImage ReadBack(ID3D11Device* device, ID3D11DeviceContext* context, ID3D11RenderTargetView* target);

// The bytes a buffer holds, read through a staging copy; empty on failure.
std::vector<std::uint8_t> ReadBackBuffer(ID3D11Device* device, ID3D11DeviceContext* context, ID3D11Buffer* buffer);
