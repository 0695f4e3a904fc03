#include "demo/shader_swap.h"

#include "render/materials.h"
#include "render/mesh_object.h"

#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

std::vector<RefusedShader> ShaderSwap::Apply(ID3D11Device* device, const std::vector<MeshObject*>& scene,
                                             const std::array<LiveSource, kLiveSourceCount>& sources)
{
    std::vector<RefusedShader> refused;
    if (device == nullptr || scene.size() < 2) {
        return refused;
    }
    const bool again = device != givenTo;
    givenTo = device;
    for (std::size_t index = 0; index < sources.size(); ++index) {
        const LiveSource& source = sources[index];
        if (!source.code || (source.version == given[index] && !again)) {
            continue;
        }
        given[index] = source.version;
        Material* material = scene[source.entry]->material;
        if (material == nullptr) {
            continue;
        }
        const void* code = source.code->GetBufferPointer();
        const SIZE_T size = source.code->GetBufferSize();
        if (source.vertex) {
            ComPtr<ID3D11VertexShader> shader;
            ComPtr<ID3D11InputLayout> layout;
            const UINT elements = source.entry == 0 ? kCubeElementCount : kPyramidElementCount;
            if (SUCCEEDED(device->CreateVertexShader(code, size, nullptr, &shader)) &&
                SUCCEEDED(device->CreateInputLayout(kVertexElements.data(), elements, code, size, &layout))) {
                material->vertexShader = shader;
                material->inputLayout = layout;
                continue;
            }
        } else {
            ComPtr<ID3D11PixelShader> shader;
            if (SUCCEEDED(device->CreatePixelShader(code, size, nullptr, &shader))) {
                material->pixelShader = shader;
                continue;
            }
        }
        refused.push_back(
            {.source = index, .message = std::string(source.file) + ": the device does not take the compiled shader"});
    }
    return refused;
}
