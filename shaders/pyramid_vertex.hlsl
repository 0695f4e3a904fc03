// Pyramid: transforms the vertex and hands its object-space position to the
// pixel stage, which works out from it which triangle it is shading.

#include "object_constants.hlsli"

struct VertexOutput {
    float4 position : SV_Position;
    float3 objectPosition : ObjectPosition;
};

VertexOutput main(float3 position : Position)
{
    VertexOutput output;
    float4 p = mul(float4(position, 1.0f), world);
    p = mul(p, view);
    output.position = mul(p, projection);
    output.objectPosition = position;
    return output;
}
