#include "demo/shader_swap.h"

#include "render/materials.h"
#include "render/mesh_object.h"

#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

namespace {

// Marks a device that has had the shaders. A device made anew after a lost
// one may have its address, so the address cannot tell; and a reference kept
// to tell by would keep the lost device alive.
constexpr GUID kShadersGiven{0x6d0b3f52, 0x91a4, 0x4c7e, {0xb2, 0x1f, 0x38, 0x5e, 0xa9, 0x07, 0xc4, 0x6d}};

// Both shaders and the layout, or none: a pixel shader that does not take
// what the vertex shader passes draws nothing right.
std::optional<std::string> GivePair(ID3D11Device& device, std::size_t index, const LiveMaterial& live,
                                    Material& material)
{
    ID3DBlob& vertexCode = *live.vertexCode.Get();
    ID3DBlob& pixelCode = *live.pixelCode.Get();
    ComPtr<ID3D11VertexShader> vertex;
    ComPtr<ID3D11InputLayout> layout;
    ComPtr<ID3D11PixelShader> pixel;
    const UINT elements = index == 0 ? kCubeElementCount : kPyramidElementCount;
    if (FAILED(
            device.CreateVertexShader(vertexCode.GetBufferPointer(), vertexCode.GetBufferSize(), nullptr, &vertex)) ||
        FAILED(device.CreateInputLayout(kVertexElements.data(), elements, vertexCode.GetBufferPointer(),
                                        vertexCode.GetBufferSize(), &layout))) {
        return std::string(live.vertex.file) + ": the device does not take the compiled shader";
    }
    if (FAILED(device.CreatePixelShader(pixelCode.GetBufferPointer(), pixelCode.GetBufferSize(), nullptr, &pixel))) {
        return std::string(live.pixel.file) + ": the device does not take the compiled shader";
    }
    material.vertexShader = vertex;
    material.inputLayout = layout;
    material.pixelShader = pixel;
    return std::nullopt;
}

}  // namespace

std::vector<ShaderHandOver> ShaderSwap::Apply(ID3D11Device* device, const std::vector<MeshObject*>& scene,
                                              const std::array<LiveMaterial, kLiveMaterialCount>& materials)
{
    std::vector<ShaderHandOver> handed;
    if (device == nullptr || scene.size() < materials.size()) {
        return handed;
    }
    BOOL mark = TRUE;
    UINT size = sizeof mark;
    const bool anew = FAILED(device->GetPrivateData(kShadersGiven, &size, &mark));
    if (anew) {
        device->SetPrivateData(kShadersGiven, sizeof mark, &mark);
    }
    for (std::size_t index = 0; index < materials.size(); ++index) {
        const LiveMaterial& live = materials[index];
        if (live.version == 0 || (live.version == given[index] && !anew)) {
            continue;
        }
        given[index] = live.version;
        if (Material* material = scene[index]->material; material != nullptr) {
            handed.push_back({.material = index, .problem = GivePair(*device, index, live, *material)});
        }
    }
    return handed;
}
