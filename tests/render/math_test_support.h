#pragma once

#include "render/vector_math.h"

#include <gtest/gtest.h>

#include <ostream>

inline void PrintTo(const Vector4& v, std::ostream* os)
{
    *os << "(" << v.x << ", " << v.y << ", " << v.z << ", " << v.w << ")";
}

inline void PrintTo(const Matrix4& m, std::ostream* os)
{
    for (const Vector4& row : m.rows) {
        PrintTo(row, os);
    }
}

inline testing::AssertionResult VectorNear(const Vector4& actual, const Vector4& expected, float tolerance)
{
    const float a[4] = {actual.x, actual.y, actual.z, actual.w};
    const float e[4] = {expected.x, expected.y, expected.z, expected.w};
    for (int i = 0; i < 4; ++i) {
        // Written so that NaN fails.
        if (!(a[i] - e[i] <= tolerance && e[i] - a[i] <= tolerance)) {
            return testing::AssertionFailure() << testing::PrintToString(actual) << " differs from "
                                               << testing::PrintToString(expected) << " in lane " << i;
        }
    }
    return testing::AssertionSuccess();
}

inline testing::AssertionResult MatrixNear(const Matrix4& actual, const Matrix4& expected, float tolerance)
{
    for (int r = 0; r < 4; ++r) {
        testing::AssertionResult row = VectorNear(actual.rows[r], expected.rows[r], tolerance);
        if (!row) {
            return row << " of row " << r;
        }
    }
    return testing::AssertionSuccess();
}
