#pragma once

#include <d3d11.h>
#include <wrl/client.h>

// Decodes the image at `path` into a texture and makes the view and the
// wrapping sampler the cube's pixel shader reads. When the image cannot be
// decoded the view stays empty and the cube is drawn untextured.
void LoadCubeTexture(ID3D11Device* device, const wchar_t* path,
                     Microsoft::WRL::ComPtr<ID3D11ShaderResourceView>& textureView,
                     Microsoft::WRL::ComPtr<ID3D11SamplerState>& sampler);
