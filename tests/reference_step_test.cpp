#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "lattice/lattice.h"
#include "reference_step.h"

namespace {

// Bit patterns, so that NaNs compare equal to the same NaNs.
uint32_t bits(float f) {
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// Where the two lattices first differ in any value of any cell, bit for bit; empty when nowhere.
std::string first_difference(const Lattice& fast, const Lattice& reference) {
    for (std::size_t p = 0; p < fast.planes.size(); ++p) {
        for (std::size_t i = 0; i < fast.planes[p]->cells.size(); ++i) {
            const Cell& a = *fast.planes[p]->cells[i];
            const Cell& b = *reference.planes[p]->cells[i];
            const std::string cell = "plane " + std::to_string(p) + " cell " + std::to_string(i);
            if (bits(a.smoke) != bits(b.smoke)) return cell + " smoke";
            if (bits(a.density) != bits(b.density)) return cell + " density";
            if (bits(a.velocity) != bits(b.velocity)) return cell + " velocity";
            for (int j = 0; j < DIRECTION_COUNT; ++j) {
                const Link &x = a.links[j], &y = b.links[j];
                if (bits(x.population) != bits(y.population) || bits(x.equilibrium) != bits(y.equilibrium) ||
                    bits(x.post_collision) != bits(y.post_collision)) {
                    return cell + " link " + std::to_string(j);
                }
            }
        }
    }
    return "";
}

TEST(ReferenceStep, TheFastStepIsBitIdenticalThroughInfinityAndNan) {
    const auto fast = make_world(), reference = make_world();
    bool saw_nan = false;
    for (int step = 1; step <= 150; ++step) {
        fast->advance();
        reference_step(*reference);
        ASSERT_EQ(first_difference(*fast, *reference), "") << "step " << step;
        saw_nan = saw_nan || std::isnan(fast->cell(0, REPORT_ROW, 0)->smoke);
    }
    EXPECT_TRUE(saw_nan);  // the comparison reached the runaway values too
}

// Random smoke and populations of either sign, some of them zeros of either sign, and a rare inf,
// -inf or nan (rare, because a nan reaches every neighbour's smoke in a step). Unlike the seeded
// world, such a state has no symmetry to hide a link streamed out of turn, or a cell collided after
// a neighbour has streamed into it.
void scatter(Lattice& lattice, std::mt19937& random) {
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    std::uniform_int_distribution<int> kind(0, 999);
    // The nan the processor's arithmetic makes, as the model's own are: where two nans of different
    // signs meet in an addition, the result depends on the compiler's choice of operand order.
    volatile float infinity = INFINITY;
    const float nan = infinity - infinity;
    const auto draw = [&] {
        const int k = kind(random);
        if (k == 0) return INFINITY;
        if (k == 1) return -INFINITY;
        if (k == 2) return nan;
        if (k < 50) return k % 2 ? 0.0f : -0.0f;
        return value(random);
    };
    for (auto& plane : lattice.planes) {
        for (auto& cell : plane->cells) {
            cell->smoke = draw();
            for (Link& link : cell->links) link.population = draw();
        }
    }
}

TEST(ReferenceStep, TheFastStepIsBitIdenticalFromRandomStatesOfManyShapes) {
    struct Shape {
        int columns, rows, planes;
    };
    // One cell; sheets; blocks; and seven planes of as few rows as the sweep's lag between planes.
    for (const Shape s : {Shape{1, 1, 1}, Shape{7, 5, 1}, Shape{37, 23, 3}, Shape{20, 20, 4}, Shape{6, 2, 7}}) {
        const std::string shape =
            std::to_string(s.columns) + "x" + std::to_string(s.rows) + "x" + std::to_string(s.planes);
        std::mt19937 random(20240601);
        Lattice fast(s.columns, s.rows, s.planes, WORLD_TAU, WORLD_LATTICE_SPEED);
        Lattice reference(s.columns, s.rows, s.planes, WORLD_TAU, WORLD_LATTICE_SPEED);
        for (int start = 0; start < 3; ++start) {
            std::mt19937 copy = random;
            scatter(fast, random);
            scatter(reference, copy);
            for (int step = 1; step <= 8; ++step) {
                fast.advance();
                reference_step(reference);
                ASSERT_EQ(first_difference(fast, reference), "") << shape << ", start " << start << ", step " << step;
            }
        }
    }
}

}  // namespace
