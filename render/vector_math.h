#pragma once

// Single-precision vectors and matrices shared by the camera and the draw.
// Matrices are row-major and act on row vectors (v' = v * M), so a
// translation lives in the fourth row and in A * B the transform A applies
// first. Space is left-handed: +x right, +y up, +z into the screen.

#include <type_traits>

// Directions and positions are kept with w = 0; the routines ending in 3
// ignore w on input.
struct alignas(16) Vector4 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 0.0f;

    friend bool operator==(const Vector4&, const Vector4&) = default;
};

// Four rows; copied byte for byte into shader constants, so the layout is
// exactly sixteen floats with nothing else.
struct Matrix4 {
    Vector4 rows[4];

    friend bool operator==(const Matrix4&, const Matrix4&) = default;
};

static_assert(sizeof(Vector4) == 16);
static_assert(alignof(Vector4) == 16);
static_assert(sizeof(Matrix4) == 64);
static_assert(std::is_standard_layout_v<Matrix4> && std::is_trivially_copyable_v<Matrix4>);

struct SineCosine {
    float sine;
    float cosine;
};

inline Vector4 operator+(const Vector4& a, const Vector4& b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z, a.w + b.w};
}

inline Vector4 operator-(const Vector4& a, const Vector4& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z, a.w - b.w};
}

inline Vector4 operator*(float s, const Vector4& v)
{
    return {s * v.x, s * v.y, s * v.z, s * v.w};
}

// Sine and cosine of an angle in radians from one range reduction and two
// short polynomials. The absolute error is within 2.5e-7 + 1e-7 * |angle|
// (about one unit in the last place of the angle); sin(-a) is exactly
// -sin(a). Infinities and NaN give NaN for both.
SineCosine SinCos(float angle);

// v scaled to unit length over x, y, z (w is divided by the same length).
// A zero vector stays zero; a vector whose squared length overflows to
// infinity becomes four quiet NaNs.
Vector4 Normalize3(const Vector4& v);

// (a.y*b.z - a.z*b.y, a.z*b.x - a.x*b.z, a.x*b.y - a.y*b.x, 0)
Vector4 Cross3(const Vector4& a, const Vector4& b);

float Dot3(const Vector4& a, const Vector4& b);

// (v.x, v.y, v.z, 1) * m, then divided by the resulting w.
Vector4 TransformPoint(const Vector4& v, const Matrix4& m);

// The product a * b: a is applied first.
Matrix4 Multiply(const Matrix4& a, const Matrix4& b);

Matrix4 Transpose(const Matrix4& m);

Matrix4 MakeIdentity();

// Rows (1,0,0,0), (0,c,s,0), (0,-s,c,0), (0,0,0,1).
Matrix4 MakeRotationX(float angle);

// Rows (c,0,-s,0), (0,1,0,0), (s,0,c,0), (0,0,0,1).
Matrix4 MakeRotationY(float angle);

// Identity with fourth row (x, y, z, 1).
Matrix4 MakeTranslation(float x, float y, float z);

// Rz(roll) * Rx(pitch) * Ry(yaw): a vertex turns about Z first, then about X,
// then about Y. Rz has rows (c,s,0,0), (-s,c,0,0), (0,0,1,0), (0,0,0,1).
Matrix4 MakeRotationFromAngles(float pitch, float yaw, float roll);

// Left-handed view matrix from eye toward focus. An eye on the focus point
// gives zero axes.
Matrix4 MakeLookAt(const Vector4& eye, const Vector4& focus, const Vector4& up);

// Left-handed projection mapping depth near..far to 0..1.
Matrix4 MakePerspective(float fovY, float aspect, float nearZ, float farZ);
