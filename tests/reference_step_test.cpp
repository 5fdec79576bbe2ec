#include <gtest/gtest.h>

#include <cstring>

#include "lattice/lattice.h"
#include "reference_step.h"

namespace {

// Bit patterns, so that NaNs compare equal to the same NaNs.
uint32_t bits(float f) {
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

TEST(ReferenceStep, TheFastStepIsBitIdenticalThroughInfinityAndNan) {
    const auto fast_world = make_world(), reference_world = make_world();
    Lattice &fast = *fast_world, &reference = *reference_world;
    bool saw_nan = false;
    for (int step = 1; step <= 150; ++step) {
        fast.advance();
        reference_step(reference);
        for (int i = 0; i < GRID_SIZE * GRID_SIZE; ++i) {
            const Cell& a = *fast.planes[0]->cells[i];
            const Cell& b = *reference.planes[0]->cells[i];
            ASSERT_EQ(bits(a.smoke), bits(b.smoke)) << "step " << step << " cell " << i;
            ASSERT_EQ(bits(a.density), bits(b.density)) << "step " << step << " cell " << i;
            ASSERT_EQ(bits(a.velocity), bits(b.velocity)) << "step " << step << " cell " << i;
            for (int j = 0; j < DIRECTION_COUNT; ++j) {
                ASSERT_EQ(bits(a.links[j].population), bits(b.links[j].population)) << step << " " << i << " " << j;
                ASSERT_EQ(bits(a.links[j].equilibrium), bits(b.links[j].equilibrium)) << step << " " << i << " " << j;
            }
            saw_nan = saw_nan || a.smoke != a.smoke;
        }
    }
    EXPECT_TRUE(saw_nan);  // the comparison reached the runaway values too
}

}  // namespace
