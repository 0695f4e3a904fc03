#include "tests/support/read_back.h"

#include <wrl/client.h>

#include <cstring>

using Microsoft::WRL::ComPtr;

ReadBackImage ReadBack(ID3D11Device* device, ID3D11DeviceContext* context, ID3D11RenderTargetView* target)
{
    ReadBackImage image;
    ComPtr<ID3D11Resource> resource;
    target->GetResource(&resource);
    ComPtr<ID3D11Texture2D> texture;
    if (FAILED(resource.As(&texture))) {
        return image;
    }
    D3D11_TEXTURE2D_DESC desc{};
    texture->GetDesc(&desc);
    desc.Usage = D3D11_USAGE_STAGING;
    desc.BindFlags = 0;
    desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
    desc.MiscFlags = 0;
    ComPtr<ID3D11Texture2D> staging;
    if (FAILED(device->CreateTexture2D(&desc, nullptr, &staging))) {
        return image;
    }
    context->CopyResource(staging.Get(), texture.Get());
    D3D11_MAPPED_SUBRESOURCE mapped{};
    if (FAILED(context->Map(staging.Get(), 0, D3D11_MAP_READ, 0, &mapped))) {
        return image;
    }
    image.width = desc.Width;
    image.height = desc.Height;
    image.bytes.resize(std::size_t(desc.Width) * desc.Height * 4);
    for (UINT y = 0; y < desc.Height; ++y) {
        std::memcpy(&image.bytes[std::size_t(y) * desc.Width * 4],
                    static_cast<const std::uint8_t*>(mapped.pData) + std::size_t(y) * mapped.RowPitch,
                    std::size_t(desc.Width) * 4);
    }
    context->Unmap(staging.Get(), 0);
    return image;
}

std::vector<std::uint8_t> ReadBackBuffer(ID3D11Device* device, ID3D11DeviceContext* context, ID3D11Buffer* buffer)
{
    D3D11_BUFFER_DESC desc{};
    buffer->GetDesc(&desc);
    desc.Usage = D3D11_USAGE_STAGING;
    desc.BindFlags = 0;
    desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
    desc.MiscFlags = 0;
    desc.StructureByteStride = 0;
    ComPtr<ID3D11Buffer> staging;
    std::vector<std::uint8_t> bytes;
    if (FAILED(device->CreateBuffer(&desc, nullptr, &staging))) {
        return bytes;
    }
    context->CopyResource(staging.Get(), buffer);
    D3D11_MAPPED_SUBRESOURCE mapped{};
    if (SUCCEEDED(context->Map(staging.Get(), 0, D3D11_MAP_READ, 0, &mapped))) {
        const auto* data = static_cast<const std::uint8_t*>(mapped.pData);
        bytes.assign(data, data + desc.ByteWidth);
        context->Unmap(staging.Get(), 0);
    }
    return bytes;
}
