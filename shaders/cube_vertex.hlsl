// Cube: transforms the vertex and passes its texture coordinate on.

#include "object_constants.hlsli"

struct VertexInput {
    float3 position : Position;
    float2 texCoord : TexCoord;
};

struct VertexOutput {
    float4 position : SV_Position;
    float2 texCoord : TexCoord;
};

VertexOutput main(VertexInput input)
{
    VertexOutput output;
    float4 p = mul(float4(input.position, 1.0f), world);
    p = mul(p, view);
    output.position = mul(p, projection);
    output.texCoord = input.texCoord;
    return output;
}
