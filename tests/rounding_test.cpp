// The float rounding points that the model's figures depend on survive the compiler. GCC 12's SLP
// vectorizer drops the inner rounding of two side-by-side statements of this shape, widened to double
// again; the build turns it off. Compiled with the model's flags, this fails if that comes back.
#include <gtest/gtest.h>

#include <cstring>

#include "lattice/cell.h"

namespace {

// Shaped like the equilibria of two direction classes: a rounded square term, then a rounded sum.
struct Pair {
    float y0, y1;
};
__attribute__((noinline)) Pair paired(double a0, double a1, double b0, double b1, double u) {
    const float t0 = static_cast<float>(b0 * u * u);
    const float t1 = static_cast<float>(b1 * u * u);
    return {static_cast<float>((a0 + t0) * u), static_cast<float>((a1 + t1) * u)};
}

// The same, each rounding forced through memory.
float one(double a, double b, double u) {
    volatile float t = static_cast<float>(b * u * u);
    return static_cast<float>((a + t) * u);
}

TEST(Rounding, PairedStatementsKeepTheirInnerRounding) {
    const double a0 = CLASS_WEIGHT[AXIS], a1 = CLASS_WEIGHT[DIAGONAL];
    const double b0 = CLASS_SQUARE[AXIS], b1 = CLASS_SQUARE[DIAGONAL];
    constexpr int N = 1 << 20;
    int wrong = 0;
    for (int i = 0; i < N; ++i) {
        const double u = static_cast<float>(0.5 + i * 1.0e-6);  // a float, as the cell's velocity is
        const Pair y = paired(a0, a1, b0, b1, u);
        const float e0 = one(a0, b0, u), e1 = one(a1, b1, u);
        wrong += std::memcmp(&e0, &y.y0, 4) != 0 || std::memcmp(&e1, &y.y1, 4) != 0;
    }
    EXPECT_EQ(wrong, 0) << "of " << N;
}

}  // namespace
