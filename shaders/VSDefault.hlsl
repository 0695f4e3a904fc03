// Pyramid: transforms the vertex and hands its object-space position to the
// pixel stage, which works out from it which triangle it is shading.

cbuffer ObjectConstants : register(b0)
{
    // Column-major packing: the CPU uploads each matrix transposed, so these
    // are the row-vector matrices and multiply from the right.
    float4x4 world;
    float4x4 view;
    float4x4 projection;
    float time;
};

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
