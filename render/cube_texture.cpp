#include "render/cube_texture.h"

#include <cfloat>

void LoadCubeTexture(ID3D11Device* device, Microsoft::WRL::ComPtr<ID3D11ShaderResourceView>& textureView,
                     Microsoft::WRL::ComPtr<ID3D11SamplerState>& sampler)
{
    if (!device) {
        return;
    }
    // TODO: decode the image into the view.
    (void)textureView;

    D3D11_SAMPLER_DESC desc{};
    desc.Filter = D3D11_FILTER_MIN_MAG_MIP_LINEAR;
    desc.AddressU = D3D11_TEXTURE_ADDRESS_WRAP;
    desc.AddressV = D3D11_TEXTURE_ADDRESS_WRAP;
    desc.AddressW = D3D11_TEXTURE_ADDRESS_WRAP;
    desc.MipLODBias = 0.0f;
    desc.MaxAnisotropy = 0;
    desc.ComparisonFunc = D3D11_COMPARISON_NEVER;
    desc.MinLOD = 0.0f;
    desc.MaxLOD = D3D11_FLOAT32_MAX;
    sampler.Reset();
    device->CreateSamplerState(&desc, &sampler);
}
