#pragma once

#include "render/colour_table.h"

#include <d3d11.h>
#include <wrl/client.h>

#include <array>
#include <string>

// The input layout of a `Vertex`: "Position", then "TexCoord" at byte 12. The
// cube's layout takes both elements; the pyramid's takes the first alone, and
// the 20-byte stride skips the texture coordinate.
extern const std::array<D3D11_INPUT_ELEMENT_DESC, 2> kVertexElements;
inline constexpr UINT kCubeElementCount = 2;
inline constexpr UINT kPyramidElementCount = 1;

// The fixed pipeline state an object is drawn with: shaders, input layout
// and a colour table in pixel constant-buffer slot 0.
class Material {
public:
    // The one virtual operation: it gives the materials run-time type
    // information, which the draw uses to find the textured one.
    virtual ~Material() = default;

    Microsoft::WRL::ComPtr<ID3D11PixelShader> pixelShader;
    Microsoft::WRL::ComPtr<ID3D11VertexShader> vertexShader;
    Microsoft::WRL::ComPtr<ID3D11InputLayout> inputLayout;
    Microsoft::WRL::ComPtr<ID3D11Buffer> constantBuffer;

protected:
    Material() = default;
    void CreateColourBuffer(ID3D11Device* device, const ColourTable& colours);
};

// The textured material of the cube. The colour table and the texture's
// path are the scene's to choose.
class CubeMaterial : public Material {
public:
    CubeMaterial(const std::string& pixelShaderPath, const std::string& vertexShaderPath, ID3D11Device* device,
                 const ColourTable& colours, const wchar_t* texturePath);

    Microsoft::WRL::ComPtr<ID3D11ShaderResourceView> textureView;
    Microsoft::WRL::ComPtr<ID3D11SamplerState> sampler;

private:
    Microsoft::WRL::ComPtr<ID3D11VertexShader> LoadVertexShader(const std::string& path, ID3D11Device* device);
};

// The untextured material of the pyramids: reads positions only.
class PyramidMaterial : public Material {
public:
    PyramidMaterial(const std::string& pixelShaderPath, const std::string& vertexShaderPath, ID3D11Device* device,
                    const ColourTable& colours);

private:
    Microsoft::WRL::ComPtr<ID3D11VertexShader> LoadVertexShader(const std::string& path, ID3D11Device* device);
};

Microsoft::WRL::ComPtr<ID3D11PixelShader> LoadPixelShader(const std::string& path, ID3D11Device* device);

// Widens a narrow path one unit per byte, each byte taken as signed and
// sign-extended, with no code-page conversion.
std::wstring WidenPathBytes(const std::string& path);
