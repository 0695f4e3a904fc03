#include "render/vector_math.h"
#include "tests/render/math_test_support.h"

#include <cmath>
#include <limits>
#include <random>

namespace {

constexpr float kInfinity = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// An independent reference in double precision, built from the standard
// library's sine and cosine, for Rz(roll) * Rx(pitch) * Ry(yaw).
Matrix4 ReferenceRotation(double pitch, double yaw, double roll)
{
    const double rz[3][3] = {{std::cos(roll), std::sin(roll), 0}, {-std::sin(roll), std::cos(roll), 0}, {0, 0, 1}};
    const double rx[3][3] = {{1, 0, 0}, {0, std::cos(pitch), std::sin(pitch)}, {0, -std::sin(pitch), std::cos(pitch)}};
    const double ry[3][3] = {{std::cos(yaw), 0, -std::sin(yaw)}, {0, 1, 0}, {std::sin(yaw), 0, std::cos(yaw)}};
    double zx[3][3] = {};
    double zxy[3][3] = {};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            for (int k = 0; k < 3; ++k) {
                zx[i][j] += rz[i][k] * rx[k][j];
            }
        }
    }
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            for (int k = 0; k < 3; ++k) {
                zxy[i][j] += zx[i][k] * ry[k][j];
            }
        }
    }
    Matrix4 m = MakeIdentity();
    float* rows[3] = {&m.rows[0].x, &m.rows[1].x, &m.rows[2].x};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            rows[i][j] = static_cast<float>(zxy[i][j]);
        }
    }
    return m;
}

float Element(const Matrix4& m, int row, int column)
{
    return (&m.rows[row].x)[column];
}

Matrix4 RandomMatrix(std::mt19937& random)
{
    std::uniform_real_distribution<float> value(-10.0f, 10.0f);
    Matrix4 m;
    for (Vector4& row : m.rows) {
        row = {value(random), value(random), value(random), value(random)};
    }
    return m;
}

// A rotation has orthonormal rows and a positive determinant.
testing::AssertionResult IsRotation(const Matrix4& m, float tolerance)
{
    const Vector4& a = m.rows[0];
    const Vector4& b = m.rows[1];
    const Vector4& c = m.rows[2];
    const float checks[] = {Dot3(a, a) - 1, Dot3(b, b) - 1, Dot3(c, c) - 1,           Dot3(a, b),
                            Dot3(a, c),     Dot3(b, c),     Dot3(Cross3(a, b), c) - 1};
    for (float d : checks) {
        if (!(std::fabs(d) <= tolerance)) {
            return testing::AssertionFailure() << testing::PrintToString(m);
        }
    }
    if (!(m.rows[3] == Vector4{0, 0, 0, 1}) || a.w != 0 || b.w != 0 || c.w != 0) {
        return testing::AssertionFailure() << "fourth row or column wrong: " << testing::PrintToString(m);
    }
    return testing::AssertionSuccess();
}

TEST(SinCos, ExactAtZeroAndOddEvenUnderNegation)
{
    const SineCosine zero = SinCos(0.0f);
    EXPECT_EQ(zero.sine, 0.0f);
    EXPECT_EQ(zero.cosine, 1.0f);

    std::mt19937 random(7);
    std::uniform_real_distribution<float> angle(0.0f, 1000.0f);
    for (int i = 0; i < 20000; ++i) {
        const float a = i < 10 ? 1.5707964f * static_cast<float>(i) : angle(random);
        const SineCosine positive = SinCos(a);
        const SineCosine negative = SinCos(-a);
        ASSERT_EQ(negative.sine, -positive.sine) << a;
        ASSERT_EQ(negative.cosine, positive.cosine) << a;
    }
}

TEST(SinCos, AccurateOverOrdinaryAngles)
{
    // Two sources of error: the polynomials (a few units of 2^-24) and the
    // reduction by a rounded 2*pi, which grows with the angle at about one
    // unit in the last place of the angle.
    auto bound = [](float a) { return 2.5e-7 + 1.0e-7 * std::fabs(a); };
    std::mt19937 random(11);
    std::uniform_real_distribution<float> wide(-100.0f, 100.0f);
    std::uniform_real_distribution<float> narrow(-3.5f, 3.5f);
    for (int i = 0; i < 400000; ++i) {
        const float a = i % 2 ? wide(random) : narrow(random);
        const SineCosine sc = SinCos(a);
        ASSERT_LE(std::fabs(sc.sine - std::sin(static_cast<double>(a))), bound(a)) << a;
        ASSERT_LE(std::fabs(sc.cosine - std::cos(static_cast<double>(a))), bound(a)) << a;
    }
    // The fold boundaries themselves.
    for (float a : {1.5707963f, 1.5707964f, 1.5707965f, 3.1415925f, 3.1415927f, 3.141593f, 4.712389f, 6.2831855f}) {
        for (float s : {a, -a}) {
            const SineCosine sc = SinCos(s);
            EXPECT_LE(std::fabs(sc.sine - std::sin(static_cast<double>(s))), bound(s)) << s;
            EXPECT_LE(std::fabs(sc.cosine - std::cos(static_cast<double>(s))), bound(s)) << s;
        }
    }
}

TEST(SinCos, PeriodicToInputRounding)
{
    std::mt19937 random(3);
    std::uniform_real_distribution<float> angle(-50.0f, 50.0f);
    for (int i = 0; i < 20000; ++i) {
        const float a = angle(random);
        const float b = a + 6.2831855f;
        // b is a + 2*pi rounded to float; the results may differ by that
        // rounding and by each result's own error.
        const double shift = std::fabs(static_cast<double>(b) - a - 6.283185307179586);
        const double tolerance = shift + 2.5e-7 + 1.0e-7 * (std::fabs(a) + std::fabs(b));
        ASSERT_LE(std::fabs(SinCos(a).sine - SinCos(b).sine), tolerance) << a;
        ASSERT_LE(std::fabs(SinCos(a).cosine - SinCos(b).cosine), tolerance) << a;
    }
}

TEST(SinCos, HugeAndNonFiniteAnglesStayDefined)
{
    for (float a : {1.5e6f, 2.5e6f, 1.0e7f, 123456789.0f, 4.0e9f, 1.0e10f}) {
        for (float s : {a, -a}) {
            const SineCosine sc = SinCos(s);
            EXPECT_NEAR(sc.sine, std::sin(static_cast<double>(s)), 2e-6) << s;
            EXPECT_NEAR(sc.cosine, std::cos(static_cast<double>(s)), 2e-6) << s;
        }
    }
    for (float a : {1.0e20f, std::numeric_limits<float>::max(), -std::numeric_limits<float>::max()}) {
        const SineCosine sc = SinCos(a);
        EXPECT_NEAR(sc.sine * sc.sine + sc.cosine * sc.cosine, 1.0f, 1e-6f) << a;
    }
    for (float a : {kInfinity, -kInfinity, kNaN}) {
        EXPECT_TRUE(std::isnan(SinCos(a).sine)) << a;
        EXPECT_TRUE(std::isnan(SinCos(a).cosine)) << a;
    }
}

TEST(Normalize3, ZeroInfiniteAndOrdinaryVectors)
{
    EXPECT_EQ(Normalize3({0, 0, 0, 0}), (Vector4{0, 0, 0, 0}));
    // w does not count toward the length.
    EXPECT_EQ(Normalize3({0, 0, 0, 5}), (Vector4{0, 0, 0, 0}));

    const Vector4 overflowing[] = {{kInfinity, 0, 0, 0}, {0, -kInfinity, 0, 0}, {1, 2, kInfinity, 0}, {3e20f, 0, 0, 0}};
    for (const Vector4& v : overflowing) {
        const Vector4 n = Normalize3(v);
        EXPECT_TRUE(std::isnan(n.x) && std::isnan(n.y) && std::isnan(n.z) && std::isnan(n.w))
            << testing::PrintToString(v);
    }

    // w is divided by the same length.
    EXPECT_TRUE(VectorNear(Normalize3({3, 0, -4, 10}), {0.6f, 0, -0.8f, 2}, 1e-7f));
    const Vector4 n = Normalize3({1e-10f, 2e-10f, -2e-10f, 0});
    EXPECT_NEAR(Dot3(n, n), 1.0f, 1e-6f);
}

TEST(Matrices, MultiplyAppliesLeftOperandFirst)
{
    // Turn +z a quarter about Y (to +x), then move by (1, 2, 3).
    const Matrix4 turnThenMove = Multiply(MakeRotationY(1.5707964f), MakeTranslation(1, 2, 3));
    EXPECT_TRUE(VectorNear(TransformPoint({0, 0, 1, 0}, turnThenMove), {2, 2, 3, 1}, 1e-6f));
    const Matrix4 moveThenTurn = Multiply(MakeTranslation(1, 2, 3), MakeRotationY(1.5707964f));
    EXPECT_TRUE(VectorNear(TransformPoint({0, 0, 1, 0}, moveThenTurn), {4, 2, -1, 1}, 1e-6f));

    // Against the textbook product, and transposition.
    std::mt19937 random(5);
    for (int n = 0; n < 50; ++n) {
        const Matrix4 a = RandomMatrix(random);
        const Matrix4 b = RandomMatrix(random);
        const Matrix4 product = Multiply(a, b);
        const Matrix4 transposed = Transpose(a);
        for (int i = 0; i < 4; ++i) {
            for (int j = 0; j < 4; ++j) {
                double sum = 0;
                for (int k = 0; k < 4; ++k) {
                    sum += static_cast<double>(Element(a, i, k)) * Element(b, k, j);
                }
                ASSERT_NEAR(Element(product, i, j), sum, 1e-4);
                ASSERT_EQ(Element(transposed, i, j), Element(a, j, i));
            }
        }
    }
}

TEST(Rotations, FromAnglesMatchesProductOfElementaryRotations)
{
    EXPECT_EQ(MakeRotationFromAngles(0, 0, 0), MakeIdentity());
    EXPECT_TRUE(MatrixNear(MakeRotationFromAngles(0.3f, 0, 0), MakeRotationX(0.3f), 3e-7f));
    EXPECT_TRUE(MatrixNear(MakeRotationFromAngles(0, 0.3f, 0), MakeRotationY(0.3f), 3e-7f));
    EXPECT_TRUE(VectorNear(MakeRotationFromAngles(0, 0, 0.3f).rows[0], {std::cos(0.3f), std::sin(0.3f), 0, 0}, 3e-7f));

    const Matrix4 m = MakeRotationFromAngles(0.3f, 0.5f, 0.7f);
    EXPECT_TRUE(VectorNear(m.rows[0], {0.762485f, 0.615445f, -0.199611f, 0}, 1e-6f));
    EXPECT_TRUE(VectorNear(m.rows[2], {0.458013f, -0.295520f, 0.838387f, 0}, 1e-6f));

    std::mt19937 random(13);
    std::uniform_real_distribution<float> ordinary(-7.0f, 7.0f);
    std::uniform_real_distribution<float> large(-200.0f, 200.0f);
    for (int i = 0; i < 5000; ++i) {
        const bool big = i % 10 == 0;
        const float pitch = big ? large(random) : ordinary(random);
        const float yaw = big ? large(random) : ordinary(random);
        const float roll = big ? large(random) : ordinary(random);
        const Matrix4 expected = ReferenceRotation(pitch, yaw, roll);
        const Matrix4 composed =
            Multiply(Multiply(MakeRotationFromAngles(0, 0, roll), MakeRotationX(pitch)), MakeRotationY(yaw));
        ASSERT_TRUE(MatrixNear(MakeRotationFromAngles(pitch, yaw, roll), expected, big ? 3e-5f : 2e-6f))
            << pitch << " " << yaw << " " << roll;
        ASSERT_TRUE(MatrixNear(composed, expected, big ? 3e-5f : 2e-6f)) << pitch << " " << yaw << " " << roll;
    }
}

TEST(Rotations, FromHugeAnglesIsStillARotation)
{
    EXPECT_TRUE(IsRotation(MakeRotationFromAngles(3e7f, -1e30f, 2.0f), 1e-5f));
    EXPECT_TRUE(IsRotation(MakeRotationFromAngles(0.1f, 0.2f, -std::numeric_limits<float>::max()), 1e-5f));
    // One huge lane must not disturb the ordinary ones.
    EXPECT_TRUE(MatrixNear(MakeRotationFromAngles(0.3f, 0.5f, 4e9f), ReferenceRotation(0.3, 0.5, 4e9f), 2e-6f));
}

TEST(LookAt, MapsEyeToOriginAndFocusOntoPositiveZ)
{
    const Vector4 eye{3, -4, 7, 0};
    const Vector4 focus{-1, 2, 0.5f, 0};
    const Matrix4 view = MakeLookAt(eye, focus, {0, 1, 0, 0});
    const Vector4 d = focus - eye;
    const float distance = std::sqrt(Dot3(d, d));
    EXPECT_TRUE(VectorNear(TransformPoint(eye, view), {0, 0, 0, 1}, 1e-5f));
    EXPECT_TRUE(VectorNear(TransformPoint(focus, view), {0, 0, distance, 1}, 1e-5f));
    // A point above the eye appears above the view axis, not below it.
    EXPECT_GT(TransformPoint(eye + Vector4{0, 1, 0, 0}, view).y, 0.5f);
    const Matrix4 ahead = MakeLookAt({0, 0, -10, 0}, {0, 0, 0, 0}, {0, 1, 0, 0});
    EXPECT_EQ(ahead, (Matrix4{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 10, 1}}}));
}

TEST(LookAt, EyeOnFocusGivesZeroAxes)
{
    const Matrix4 view = MakeLookAt({2, 2, 2, 0}, {2, 2, 2, 0}, {0, 1, 0, 0});
    EXPECT_EQ(view, (Matrix4{{{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 1}}}));
}

TEST(Perspective, ConstantsAndDepthRange)
{
    const Matrix4 p = MakePerspective(1.256f, 1920.0f / 1080.0f, 0.1f, 1000.0f);
    EXPECT_NEAR(p.rows[1].y, 1.37730f, 1e-5f);
    EXPECT_FLOAT_EQ(p.rows[0].x, p.rows[1].y * 1080.0f / 1920.0f);
    EXPECT_FLOAT_EQ(p.rows[2].z, 1.0001f);
    EXPECT_FLOAT_EQ(p.rows[3].z, -0.10001f);
    EXPECT_EQ(p.rows[2].w, 1.0f);
    EXPECT_EQ(p.rows[3].w, 0.0f);
    // Near maps to depth 0 and far to depth 1 (after the division by w).
    EXPECT_NEAR(TransformPoint({0, 0, 0.1f, 0}, p).z, 0.0f, 1e-6f);
    EXPECT_NEAR(TransformPoint({0, 0, 1000.0f, 0}, p).z, 1.0f, 1e-6f);
}

}  // namespace
