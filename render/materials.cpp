#include "render/materials.h"

#include "render/cube_texture.h"

#include <d3dcompiler.h>

#include <cstdint>

using Microsoft::WRL::ComPtr;

const std::array<D3D11_INPUT_ELEMENT_DESC, 2> kVertexElements = {{
    {.SemanticName = "Position",
     .SemanticIndex = 0,
     .Format = DXGI_FORMAT_R32G32B32_FLOAT,
     .InputSlot = 0,
     .AlignedByteOffset = 0,
     .InputSlotClass = D3D11_INPUT_PER_VERTEX_DATA,
     .InstanceDataStepRate = 0},
    {.SemanticName = "TexCoord",
     .SemanticIndex = 0,
     .Format = DXGI_FORMAT_R32G32_FLOAT,
     .InputSlot = 0,
     .AlignedByteOffset = 12,
     .InputSlotClass = D3D11_INPUT_PER_VERTEX_DATA,
     .InstanceDataStepRate = 0},
}};

namespace {

ComPtr<ID3DBlob> ReadShaderFile(const std::string& path)
{
    ComPtr<ID3DBlob> blob;
    D3DReadFileToBlob(WidenPathBytes(path).c_str(), &blob);
    return blob;
}

// A shader file that cannot be read leaves the shader and its layout empty;
// the draw then binds what there is.
ComPtr<ID3D11VertexShader> LoadVertexShaderWithLayout(const std::string& path, ID3D11Device* device, UINT elementCount,
                                                      ComPtr<ID3D11InputLayout>& inputLayout)
{
    ComPtr<ID3D11VertexShader> shader;
    const ComPtr<ID3DBlob> blob = ReadShaderFile(path);
    if (!blob || !device) {
        return shader;
    }
    device->CreateVertexShader(blob->GetBufferPointer(), blob->GetBufferSize(), nullptr, &shader);
    inputLayout.Reset();
    device->CreateInputLayout(kVertexElements.data(), elementCount, blob->GetBufferPointer(), blob->GetBufferSize(),
                              &inputLayout);
    return shader;
}

}  // namespace

std::wstring WidenPathBytes(const std::string& path)
{
    std::wstring wide;
    wide.reserve(path.size());
    for (char byte : path) {
        wide.push_back(static_cast<wchar_t>(
            static_cast<std::uint16_t>(static_cast<std::int16_t>(static_cast<std::int8_t>(byte)))));
    }
    return wide;
}

ComPtr<ID3D11PixelShader> LoadPixelShader(const std::string& path, ID3D11Device* device)
{
    ComPtr<ID3D11PixelShader> shader;
    const ComPtr<ID3DBlob> blob = ReadShaderFile(path);
    if (blob && device) {
        device->CreatePixelShader(blob->GetBufferPointer(), blob->GetBufferSize(), nullptr, &shader);
    }
    return shader;
}

void Material::CreateColourBuffer(ID3D11Device* device, const ColourTable& colours)
{
    if (!device) {
        return;
    }
    const D3D11_BUFFER_DESC desc{
        .ByteWidth = sizeof(ColourTable), .Usage = D3D11_USAGE_DEFAULT, .BindFlags = D3D11_BIND_CONSTANT_BUFFER};
    const D3D11_SUBRESOURCE_DATA initial{.pSysMem = colours.data()};
    constantBuffer.Reset();
    device->CreateBuffer(&desc, &initial, &constantBuffer);
}

CubeMaterial::CubeMaterial(const std::string& pixelShaderPath, const std::string& vertexShaderPath,
                           ID3D11Device* device, const ColourTable& colours, const wchar_t* texturePath)
{
    pixelShader = LoadPixelShader(pixelShaderPath, device);
    vertexShader = LoadVertexShader(vertexShaderPath, device);
    CreateColourBuffer(device, colours);
    LoadCubeTexture(device, texturePath, textureView, sampler);
}

ComPtr<ID3D11VertexShader> CubeMaterial::LoadVertexShader(const std::string& path, ID3D11Device* device)
{
    return LoadVertexShaderWithLayout(path, device, kCubeElementCount, inputLayout);
}

PyramidMaterial::PyramidMaterial(const std::string& pixelShaderPath, const std::string& vertexShaderPath,
                                 ID3D11Device* device, const ColourTable& colours)
{
    pixelShader = LoadPixelShader(pixelShaderPath, device);
    vertexShader = LoadVertexShader(vertexShaderPath, device);
    CreateColourBuffer(device, colours);
}

ComPtr<ID3D11VertexShader> PyramidMaterial::LoadVertexShader(const std::string& path, ID3D11Device* device)
{
    return LoadVertexShaderWithLayout(path, device, kPyramidElementCount, inputLayout);
}
