#include "render/vector_math.h"

#include <emmintrin.h>
#include <xmmintrin.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace {

constexpr float kInverseTwoPi = 0.15915494f;
constexpr float kTwoPi = 6.2831855f;
constexpr float kPi = 3.1415927f;
constexpr float kHalfPi = 1.5707964f;
constexpr double kTwoPiDouble = 6.283185307179586;

// The single-precision reduction loses accuracy in step with the angle (the
// rounded 2*pi and the rounded product), fails outright near 5e7 when the
// remainder leaves the range the fold handles, and its quotient overflows 32
// bits near 1.3e10. Past a million radians an exact remainder is taken
// instead; a float that large has little phase left, but the result stays a
// genuine sine and cosine.
constexpr float kReducibleLimit = 1.0e6f;

constexpr float kS0 = -2.3889859e-8f;
constexpr float kS1 = 2.7525562e-6f;
constexpr float kS2 = -0.00019840874f;
constexpr float kS3 = 0.008333331f;
constexpr float kS4 = -0.16666667f;

constexpr float kC0 = -2.6051615e-7f;
constexpr float kC1 = 2.4760495e-5f;
constexpr float kC2 = -0.0013888378f;
constexpr float kC3 = 0.041666638f;
constexpr float kC4 = -0.5f;

// y must already lie in [-pi, pi]. The fold is written with masks because
// its branches are unpredictable when angles vary from call to call.
SineCosine FoldAndEvaluate(float angle)
{
    const __m128 signBit = _mm_set_ss(-0.0f);
    const __m128 y = _mm_set_ss(angle);
    // |y| > pi/2: reflect to pi - y (or -pi - y) and negate the cosine.
    const __m128 fold = _mm_cmpgt_ss(_mm_andnot_ps(signBit, y), _mm_set_ss(kHalfPi));
    const __m128 reflected = _mm_sub_ss(_mm_or_ps(_mm_and_ps(signBit, y), _mm_set_ss(kPi)), y);
    const float r = _mm_cvtss_f32(_mm_or_ps(_mm_and_ps(fold, reflected), _mm_andnot_ps(fold, y)));
    const float sign = _mm_cvtss_f32(_mm_or_ps(_mm_and_ps(fold, signBit), _mm_set_ss(1.0f)));

    const float r2 = r * r;
    const float sine = (((((kS0 * r2 + kS1) * r2 + kS2) * r2 + kS3) * r2 + kS4) * r2 + 1.0f) * r;
    const float cosine = sign * (((((kC0 * r2 + kC1) * r2 + kC2) * r2 + kC3) * r2 + kC4) * r2 + 1.0f);
    return {sine, cosine};
}

inline __m128 Splat(float v)
{
    return _mm_set1_ps(v);
}

template <int Lane>
inline __m128 Broadcast(__m128 v)
{
    return _mm_shuffle_ps(v, v, _MM_SHUFFLE(Lane, Lane, Lane, Lane));
}

inline __m128 Load(const Vector4& v)
{
    return _mm_load_ps(&v.x);
}

inline Vector4 Store(__m128 v)
{
    Vector4 result;
    _mm_store_ps(&result.x, v);
    return result;
}

inline __m128 Select(__m128 mask, __m128 ifTrue, __m128 ifFalse)
{
    return _mm_or_ps(_mm_and_ps(mask, ifTrue), _mm_andnot_ps(mask, ifFalse));
}

// Four sines and cosines at once with the polynomials of SinCos; the
// quotient is rounded to nearest here. Lanes out of the reducible range
// (or NaN) send all four through the scalar routine.
void SinCos4(__m128 angles, __m128& sines, __m128& cosines)
{
    const __m128 magnitude = _mm_andnot_ps(Splat(-0.0f), angles);
    if (_mm_movemask_ps(_mm_cmpnle_ps(magnitude, Splat(kReducibleLimit))) != 0) {
        alignas(16) float in[4];
        alignas(16) float s[4];
        alignas(16) float c[4];
        _mm_store_ps(in, angles);
        for (int i = 0; i < 4; ++i) {
            const SineCosine sc = SinCos(in[i]);
            s[i] = sc.sine;
            c[i] = sc.cosine;
        }
        sines = _mm_load_ps(s);
        cosines = _mm_load_ps(c);
        return;
    }

    const __m128 quotient = _mm_cvtepi32_ps(_mm_cvtps_epi32(_mm_mul_ps(angles, Splat(kInverseTwoPi))));
    __m128 y = _mm_sub_ps(angles, _mm_mul_ps(Splat(kTwoPi), quotient));

    const __m128 above = _mm_cmpgt_ps(y, Splat(kHalfPi));
    const __m128 below = _mm_cmplt_ps(y, Splat(-kHalfPi));
    y = Select(above, _mm_sub_ps(Splat(kPi), y), y);
    y = Select(below, _mm_sub_ps(Splat(-kPi), y), y);
    const __m128 sign = Select(_mm_or_ps(above, below), Splat(-1.0f), Splat(1.0f));

    const __m128 y2 = _mm_mul_ps(y, y);
    __m128 s = _mm_add_ps(_mm_mul_ps(Splat(kS0), y2), Splat(kS1));
    s = _mm_add_ps(_mm_mul_ps(s, y2), Splat(kS2));
    s = _mm_add_ps(_mm_mul_ps(s, y2), Splat(kS3));
    s = _mm_add_ps(_mm_mul_ps(s, y2), Splat(kS4));
    s = _mm_add_ps(_mm_mul_ps(s, y2), Splat(1.0f));
    sines = _mm_mul_ps(s, y);

    __m128 c = _mm_add_ps(_mm_mul_ps(Splat(kC0), y2), Splat(kC1));
    c = _mm_add_ps(_mm_mul_ps(c, y2), Splat(kC2));
    c = _mm_add_ps(_mm_mul_ps(c, y2), Splat(kC3));
    c = _mm_add_ps(_mm_mul_ps(c, y2), Splat(kC4));
    c = _mm_add_ps(_mm_mul_ps(c, y2), Splat(1.0f));
    cosines = _mm_mul_ps(sign, c);
}

}  // namespace

SineCosine SinCos(float angle)
{
    if (std::fabs(angle) <= kReducibleLimit) {
        // Add 0.5 for angle >= 0 and subtract it otherwise, then truncate:
        // the quotient rounds to the nearest whole turn.
        const __m128 a = _mm_set_ss(angle);
        const __m128 nonNegative = _mm_cmpge_ss(a, _mm_setzero_ps());
        const __m128 half =
            _mm_or_ps(_mm_and_ps(nonNegative, _mm_set_ss(0.5f)), _mm_andnot_ps(nonNegative, _mm_set_ss(-0.5f)));
        const float quotient = _mm_cvtss_f32(_mm_add_ss(_mm_mul_ss(a, _mm_set_ss(kInverseTwoPi)), half));
        const auto turns = static_cast<std::int32_t>(quotient);
        return FoldAndEvaluate(angle - kTwoPi * static_cast<float>(turns));
    }
    if (std::isfinite(angle)) {
        // remainder() is exact, so the result lies in [-pi, pi].
        return FoldAndEvaluate(static_cast<float>(std::remainder(static_cast<double>(angle), kTwoPiDouble)));
    }
    const float nan = std::numeric_limits<float>::quiet_NaN();
    return {nan, nan};
}

Vector4 Normalize3(const Vector4& v)
{
    const float lengthSquared = v.x * v.x + v.y * v.y + v.z * v.z;
    if (lengthSquared == std::numeric_limits<float>::infinity()) {
        const float nan = std::numeric_limits<float>::quiet_NaN();
        return {nan, nan, nan, nan};
    }
    const float length = std::sqrt(lengthSquared);
    if (length == 0.0f) {
        return {};
    }
    return {v.x / length, v.y / length, v.z / length, v.w / length};
}

Vector4 Cross3(const Vector4& a, const Vector4& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x, 0.0f};
}

float Dot3(const Vector4& a, const Vector4& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vector4 TransformPoint(const Vector4& v, const Matrix4& m)
{
    const __m128 p = Load(v);
    __m128 r = _mm_add_ps(_mm_mul_ps(Broadcast<0>(p), Load(m.rows[0])), Load(m.rows[3]));
    r = _mm_add_ps(r, _mm_mul_ps(Broadcast<1>(p), Load(m.rows[1])));
    r = _mm_add_ps(r, _mm_mul_ps(Broadcast<2>(p), Load(m.rows[2])));
    return Store(_mm_div_ps(r, Broadcast<3>(r)));
}

Matrix4 Multiply(const Matrix4& a, const Matrix4& b)
{
    const __m128 b0 = Load(b.rows[0]);
    const __m128 b1 = Load(b.rows[1]);
    const __m128 b2 = Load(b.rows[2]);
    const __m128 b3 = Load(b.rows[3]);
    Matrix4 result;
    for (int i = 0; i < 4; ++i) {
        const __m128 row = Load(a.rows[i]);
        __m128 r = _mm_mul_ps(Broadcast<0>(row), b0);
        r = _mm_add_ps(r, _mm_mul_ps(Broadcast<1>(row), b1));
        r = _mm_add_ps(r, _mm_mul_ps(Broadcast<2>(row), b2));
        r = _mm_add_ps(r, _mm_mul_ps(Broadcast<3>(row), b3));
        _mm_store_ps(&result.rows[i].x, r);
    }
    return result;
}

Matrix4 Transpose(const Matrix4& m)
{
    __m128 r0 = Load(m.rows[0]);
    __m128 r1 = Load(m.rows[1]);
    __m128 r2 = Load(m.rows[2]);
    __m128 r3 = Load(m.rows[3]);
    _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
    return {{Store(r0), Store(r1), Store(r2), Store(r3)}};
}

Matrix4 MakeIdentity()
{
    return {{{1.0f, 0.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 0.0f, 1.0f}}};
}

Matrix4 MakeRotationX(float angle)
{
    const auto [sn, cs] = SinCos(angle);
    return {{{1.0f, 0.0f, 0.0f, 0.0f}, {0.0f, cs, sn, 0.0f}, {0.0f, -sn, cs, 0.0f}, {0.0f, 0.0f, 0.0f, 1.0f}}};
}

Matrix4 MakeRotationY(float angle)
{
    const auto [sn, cs] = SinCos(angle);
    return {{{cs, 0.0f, -sn, 0.0f}, {0.0f, 1.0f, 0.0f, 0.0f}, {sn, 0.0f, cs, 0.0f}, {0.0f, 0.0f, 0.0f, 1.0f}}};
}

Matrix4 MakeTranslation(float x, float y, float z)
{
    return {{{1.0f, 0.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f, 0.0f}, {x, y, z, 1.0f}}};
}

Matrix4 MakeRotationFromAngles(float pitch, float yaw, float roll)
{
    // Half-angle sines and cosines of (pitch, yaw, roll) in lanes 0..2.
    __m128 s;
    __m128 c;
    SinCos4(_mm_mul_ps(_mm_setr_ps(pitch, yaw, roll, 0.0f), Splat(0.5f)), s, c);

    // The quaternion q = qYaw * qPitch * qRoll, lanes (x, y, z, w):
    //   x = sp cy cr + cp sy sr      y = cp sy cr - sp cy sr
    //   z = cp cy sr - sp sy cr      w = cp cy cr + sp sy sr
    const __m128 sp = Broadcast<0>(s), cp = Broadcast<0>(c);
    const __m128 sy = Broadcast<1>(s), cy = Broadcast<1>(c);
    const __m128 sr = Broadcast<2>(s), cr = Broadcast<2>(c);
    const __m128 pitch0 = _mm_shuffle_ps(_mm_unpacklo_ps(sp, cp), cp, _MM_SHUFFLE(0, 0, 1, 0));  // sp cp cp cp
    const __m128 pitch1 = _mm_shuffle_ps(_mm_unpacklo_ps(cp, sp), sp, _MM_SHUFFLE(0, 0, 1, 0));  // cp sp sp sp
    const __m128 yaw0 = _mm_shuffle_ps(_mm_unpacklo_ps(cy, sy), cy, _MM_SHUFFLE(0, 0, 1, 0));    // cy sy cy cy
    const __m128 yaw1 = _mm_shuffle_ps(_mm_unpacklo_ps(sy, cy), sy, _MM_SHUFFLE(0, 0, 1, 0));    // sy cy sy sy
    const __m128 roll0 = _mm_shuffle_ps(cr, _mm_unpacklo_ps(sr, cr), _MM_SHUFFLE(1, 0, 0, 0));   // cr cr sr cr
    const __m128 roll1 = _mm_shuffle_ps(sr, _mm_unpacklo_ps(cr, sr), _MM_SHUFFLE(1, 0, 0, 0));   // sr sr cr sr
    const __m128 signs = _mm_setr_ps(1.0f, -1.0f, -1.0f, 1.0f);
    const __m128 q = _mm_add_ps(_mm_mul_ps(_mm_mul_ps(pitch0, yaw0), roll0),
                                _mm_mul_ps(signs, _mm_mul_ps(_mm_mul_ps(pitch1, yaw1), roll1)));

    // Rotation matrix of a unit quaternion, written for row vectors:
    //   (1-2(yy+zz), 2(xy+zw),    2(xz-yw))
    //   (2(xy-zw),   1-2(xx+zz),  2(yz+xw))
    //   (2(xz+yw),   2(yz-xw),    1-2(xx+yy))
    const __m128 q2 = _mm_add_ps(q, q);
    const __m128 squares = _mm_mul_ps(q, q2);  // 2xx 2yy 2zz 2ww
    const __m128 diagonal =
        _mm_sub_ps(_mm_sub_ps(Splat(1.0f), _mm_shuffle_ps(squares, squares, _MM_SHUFFLE(3, 0, 0, 1))),
                   _mm_shuffle_ps(squares, squares, _MM_SHUFFLE(3, 1, 2, 2)));  // 1-2(yy+zz) 1-2(xx+zz) 1-2(xx+yy)
    const __m128 products = _mm_mul_ps(_mm_shuffle_ps(q, q, _MM_SHUFFLE(3, 1, 0, 0)),
                                       _mm_shuffle_ps(q2, q2, _MM_SHUFFLE(3, 2, 2, 1)));                // 2xy 2xz 2yz
    const __m128 withW = _mm_mul_ps(Broadcast<3>(q), _mm_shuffle_ps(q2, q2, _MM_SHUFFLE(3, 0, 1, 2)));  // 2zw 2yw 2xw
    const __m128 plus = _mm_add_ps(products, withW);   // 2(xy+zw) 2(xz+yw) 2(yz+xw)
    const __m128 minus = _mm_sub_ps(products, withW);  // 2(xy-zw) 2(xz-yw) 2(yz-xw)

    alignas(16) float d[4];
    alignas(16) float p[4];
    alignas(16) float m[4];
    _mm_store_ps(d, diagonal);
    _mm_store_ps(p, plus);
    _mm_store_ps(m, minus);
    return {{{d[0], p[0], m[1], 0.0f}, {m[0], d[1], p[2], 0.0f}, {p[1], m[2], d[2], 0.0f}, {0.0f, 0.0f, 0.0f, 1.0f}}};
}

Matrix4 MakeLookAt(const Vector4& eye, const Vector4& focus, const Vector4& up)
{
    const Vector4 zAxis = Normalize3(focus - eye);
    const Vector4 xAxis = Normalize3(Cross3(up, zAxis));
    const Vector4 yAxis = Cross3(zAxis, xAxis);
    return {{{xAxis.x, yAxis.x, zAxis.x, 0.0f},
             {xAxis.y, yAxis.y, zAxis.y, 0.0f},
             {xAxis.z, yAxis.z, zAxis.z, 0.0f},
             {-Dot3(xAxis, eye), -Dot3(yAxis, eye), -Dot3(zAxis, eye), 1.0f}}};
}

Matrix4 MakePerspective(float fovY, float aspect, float nearZ, float farZ)
{
    const auto [sn, cs] = SinCos(fovY / 2.0f);
    const float yScale = cs / sn;
    const float xScale = yScale / aspect;
    const float range = farZ / (farZ - nearZ);
    return {{{xScale, 0.0f, 0.0f, 0.0f},
             {0.0f, yScale, 0.0f, 0.0f},
             {0.0f, 0.0f, range, 1.0f},
             {0.0f, 0.0f, -range * nearZ, 0.0f}}};
}
