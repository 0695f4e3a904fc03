// Cube: transforms the vertex and passes its texture coordinate on.

cbuffer ObjectConstants : register(b0)
{
    // Column-major packing: the CPU uploads each matrix transposed, so these
    // are the row-vector matrices and multiply from the right.
    float4x4 world;
    float4x4 view;
    float4x4 projection;
    float time;
};

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
