#include "render/cube_texture.h"

#include "texture/image_decoder.h"
#include "texture/image_set.h"
#include "texture/texture_builder.h"

using Microsoft::WRL::ComPtr;

void LoadCubeTexture(ID3D11Device* device, const wchar_t* path, ComPtr<ID3D11ShaderResourceView>& textureView,
                     ComPtr<ID3D11SamplerState>& sampler)
{
    if (!device) {
        return;
    }
    ImageDesc desc{};
    ImageSet image;
    DecodeImageFile(path, 0, &desc, image, MetadataCallback{});

    // An image that could not be decoded leaves the set empty; creation then
    // fails for lack of surfaces and the view stays empty.
    ComPtr<ID3D11Resource> texture;
    CreateShaderTexture(device, image.surfaces, image.surfaceCount, desc, &texture);
    textureView.Reset();
    if (texture) {
        device->CreateShaderResourceView(texture.Get(), nullptr, &textureView);
    }

    const D3D11_SAMPLER_DESC samplerDesc{.Filter = D3D11_FILTER_MIN_MAG_MIP_LINEAR,
                                         .AddressU = D3D11_TEXTURE_ADDRESS_WRAP,
                                         .AddressV = D3D11_TEXTURE_ADDRESS_WRAP,
                                         .AddressW = D3D11_TEXTURE_ADDRESS_WRAP,
                                         .MipLODBias = 0.0f,
                                         .MaxAnisotropy = 0,
                                         .ComparisonFunc = D3D11_COMPARISON_NEVER,
                                         .MinLOD = 0.0f,
                                         .MaxLOD = D3D11_FLOAT32_MAX};
    sampler.Reset();
    device->CreateSamplerState(&samplerDesc, &sampler);
    // The local texture reference and the decoded pixels go here; the view
    // keeps the texture alive.
}
