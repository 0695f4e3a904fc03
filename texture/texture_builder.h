#pragma once

#include "texture/image_set.h"

#include <windows.h>
#include <d3d11.h>

#include <cstdint>

// Format choice of BuildTexture.
enum TextureFormatFlags : std::uint32_t {
    AsSrgb = 0x1,    // use the sRGB twin of the image's format
    AsLinear = 0x2,  // use the linear twin; ignored when AsSrgb is set
};

// Creates a 1-D, 2-D or 3-D texture whose initial contents are the image's
// surfaces. On success *texture holds one reference for the caller; on any
// failure after the arguments were accepted it is null.
HRESULT BuildTexture(ID3D11Device* device, const ImageSurface* surfaces, std::uint64_t surfaceCount,
                     const ImageDesc& desc, D3D11_USAGE usage, UINT bindFlags, UINT cpuAccessFlags, UINT miscFlags,
                     std::uint32_t formatFlags, ID3D11Resource** texture);

// The texture a shader samples: default usage, shader-resource binding, no CPU
// access, no extra flags, the image's own format.
HRESULT CreateShaderTexture(ID3D11Device* device, const ImageSurface* surfaces, std::uint64_t surfaceCount,
                            const ImageDesc& desc, ID3D11Resource** texture);
