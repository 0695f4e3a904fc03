// Times SinCos against the library's sinf and cosf, and the rotation from
// three angles against the product of three elementary rotations. Prints
// nanoseconds per call and the ratios; the best of several rounds counts.

#include "render/vector_math.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

namespace {

// NOLINTNEXTLINE(cppcoreguidelines-avoid-non-const-global-variables): a store the optimiser cannot drop.
volatile float sink;

template <typename Work>
double BestNanosecondsPerCall(int calls, Work work)
{
    double best = 1e30;
    for (int round = 0; round < 15; ++round) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const auto stop = std::chrono::steady_clock::now();
        const double ns = std::chrono::duration<double, std::nano>(stop - start).count() / calls;
        if (ns < best) {
            best = ns;
        }
    }
    return best;
}

Matrix4 MakeRotationZ(float angle)
{
    const auto [sn, cs] = SinCos(angle);
    return {{{cs, sn, 0, 0}, {-sn, cs, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
}

void CompareSineCosine(const char* label, const std::vector<float>& angles)
{
    const int calls = static_cast<int>(angles.size());
    const double ours = BestNanosecondsPerCall(calls, [&] {
        float sum = 0;
        for (float a : angles) {
            const SineCosine sc = SinCos(a);
            sum += sc.sine + sc.cosine;
        }
        sink = sum;
    });
    const double library = BestNanosecondsPerCall(calls, [&] {
        float sum = 0;
        for (float a : angles) {
            sum += std::sin(a) + std::cos(a);
        }
        sink = sum;
    });
    std::printf("%-28s SinCos %6.2f ns   sinf+cosf %6.2f ns   ratio %.2f (target <= 0.50)\n", label, ours, library,
                ours / library);
}

}  // namespace

int main()
{
    std::mt19937 random(1);
    const int count = 1 << 16;

    std::vector<float> small(count);
    std::vector<float> wide(count);
    std::uniform_real_distribution<float> smallAngle(-6.3f, 6.3f);
    std::uniform_real_distribution<float> wideAngle(-100.0f, 100.0f);
    for (float& a : small) {
        a = smallAngle(random);
    }
    for (float& a : wide) {
        a = wideAngle(random);
    }
    CompareSineCosine("angles in [-6.3, 6.3]:", small);
    CompareSineCosine("angles in [-100, 100]:", wide);

    std::vector<float> triples(3 * count);
    for (float& a : triples) {
        a = smallAngle(random);
    }
    const double quaternion = BestNanosecondsPerCall(count, [&] {
        float sum = 0;
        for (int i = 0; i < count; ++i) {
            const Matrix4 m = MakeRotationFromAngles(triples[3 * i], triples[3 * i + 1], triples[3 * i + 2]);
            sum += m.rows[0].x + m.rows[1].y + m.rows[2].z + m.rows[2].x;
        }
        sink = sum;
    });
    const double product = BestNanosecondsPerCall(count, [&] {
        float sum = 0;
        for (int i = 0; i < count; ++i) {
            const Matrix4 m = Multiply(Multiply(MakeRotationZ(triples[3 * i + 2]), MakeRotationX(triples[3 * i])),
                                       MakeRotationY(triples[3 * i + 1]));
            sum += m.rows[0].x + m.rows[1].y + m.rows[2].z + m.rows[2].x;
        }
        sink = sum;
    });
    std::printf("%-28s quaternion %6.2f ns   Rz*Rx*Ry %6.2f ns   ratio %.2f\n",
                "rotation from three angles:", quaternion, product, quaternion / product);
    return 0;
}
