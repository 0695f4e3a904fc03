// Pyramid: each triangle shows its own entry of the colour table.
//
// The triangle is recognised from the interpolated object-space position
// (base square at y = 0 from -1 to 1 in x and z, apex at (0, 1.5, 0)):
//   entry 0, 1: the base, split along its diagonal x = z;
//   entry 2, 3, 4, 5: the sides towards +z, +x, -z, -x.
// The table is read with constant indices only.

cbuffer ColourTable : register(b0)
{
    float4 colours[12];
};

struct PixelInput {
    float4 position : SV_Position;
    float3 objectPosition : ObjectPosition;
};

float4 main(PixelInput input) : SV_Target
{
    float3 p = input.objectPosition;
    float4 colour;
    if (p.y < 0.0001f) {
        // Triangle (0, 2, 1) lies where x < z, triangle (1, 2, 3) where x > z.
        if (p.x < p.z) {
            colour = colours[0];
        } else {
            colour = colours[1];
        }
    } else if (abs(p.z) >= abs(p.x)) {
        if (p.z > 0.0f) {
            colour = colours[2];
        } else {
            colour = colours[4];
        }
    } else {
        if (p.x > 0.0f) {
            colour = colours[3];
        } else {
            colour = colours[5];
        }
    }
    // The table's alpha is 0; the picture is written opaque.
    return float4(colour.rgb, 1.0f);
}
