// Cube: shows the texture.

Texture2D surfaceTexture : register(t0);
SamplerState surfaceSampler : register(s0);

struct PixelInput {
    float4 position : SV_Position;
    float2 texCoord : TexCoord;
};

float4 main(PixelInput input) : SV_Target
{
    return surfaceTexture.Sample(surfaceSampler, input.texCoord);
}
