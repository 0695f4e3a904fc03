// The vertex stage's constant block in slot 0, the same for every object; the
// program fills it from its ObjectConstants structure.
cbuffer ObjectConstants : register(b0)
{
    // Column-major packing: the CPU uploads each matrix transposed, so these
    // are the row-vector matrices and multiply from the right.
    float4x4 world;
    float4x4 view;
    float4x4 projection;
    float time;
};
