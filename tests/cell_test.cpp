// The velocity set's lookups and a single cell's sums and wiring. The tables' agreement with each
// other is checked where they are written (static_assert).
#include <gtest/gtest.h>

#include <cmath>

#include "lattice/cell.h"

namespace {

constexpr float SQRT2 = 1.41421356237f;

TEST(VelocitySet, DirectionIndexInvertsTheOffsetTableAndTheCornersHaveNone) {
    for (int i = 0; i < DIRECTION_COUNT; ++i) {
        const Offset o = DIRECTION_OFFSETS[i];
        EXPECT_EQ(direction_index(o.dx, o.dy, o.dz), i);
    }
    EXPECT_EQ(direction_index(0, 0, -1), 1);
    EXPECT_EQ(direction_index(-1, -1, 0), 11);
    EXPECT_EQ(direction_index(0, -1, 1), 18);
    int members = 0;
    for (int dx = -1; dx <= 1; ++dx)
        for (int dy = -1; dy <= 1; ++dy)
            for (int dz = -1; dz <= 1; ++dz) {
                EXPECT_EQ(direction_index(dx, dy, dz) < 0, dx != 0 && dy != 0 && dz != 0) << dx << dy << dz;
                members += direction_index(dx, dy, dz) >= 0;
            }
    EXPECT_EQ(members, DIRECTION_COUNT);
    EXPECT_EQ(direction_index(2, 0, 0), -1);
}

TEST(VelocitySet, LookupsOutsideTheSetAreSafe) {
#ifdef NDEBUG
    for (int i : {-1, 19, 1000, -1000}) {
        EXPECT_EQ(opposite_direction(i), -1);
        EXPECT_EQ(direction_length(i) + eq_weight(i) + eq_linear(i) + eq_quadratic(i) + eq_square(i), 0.0f);
    }
#else
    EXPECT_DEATH(opposite_direction(19), "");
    EXPECT_DEATH(eq_weight(-1), "");
#endif
}

TEST(Cell, StartsWithOnlyTheRestLinkWiredAndSumsCountWiredLinksOnly) {
    Cell cell(0.25f, 0.5f);
    EXPECT_EQ(cell.smoke, 0.25f);
    EXPECT_EQ(cell.is_source, 0);
    EXPECT_EQ(cell.links[0].neighbour, &cell);
    const float speeds[] = {0.0f, 0.5f, 0.70710677f};  // rest, axis, diagonal
    for (int i = 0; i < DIRECTION_COUNT; ++i) {
        EXPECT_EQ(cell.links[i].neighbour, i == 0 ? &cell : nullptr);
        EXPECT_EQ(cell.links[i].velocity, speeds[DIRECTION_CLASSES[i]]);
        EXPECT_EQ(cell.links[i].population + cell.links[i].equilibrium + cell.links[i].post_collision, 0.0f);
    }
    cell.links[4].population = 3.0f;  // unwired: ignored
    EXPECT_EQ(cell.sum_density(), 0.0f);
    EXPECT_EQ(cell.sum_velocity(1.0f), 0.0f);
    cell.links[0].population = 0.75f;  // the rest link always counts but moves nothing
    EXPECT_EQ(cell.sum_density(), 0.75f);
    EXPECT_EQ(cell.sum_velocity(0.75f), 0.0f);
}

TEST(Cell, SumVelocityIsMomentumOverDensityRoundingOnlyTheRunningSum) {
    Cell cell(0.0f, 0.5f), left(0.0f, 0.5f), right(0.0f, 0.5f);
    cell.connect(-1, 0, 0, &left, 0.5f);
    cell.connect(1, 0, 0, &right, 0.5f);
    cell.links[2].population = 1.0f;
    cell.links[4].population = 1.0f;
    EXPECT_EQ(cell.sum_velocity(2.0f), 0.5f);
    EXPECT_EQ(cell.sum_velocity(0.0f), 0.0f);
    EXPECT_EQ(cell.sum_velocity(-0.0f), 0.0f);
    EXPECT_EQ(cell.sum_velocity(-4.0f), -0.25f);  // no guard besides zero

    // Each product rounded to float would give another last bit than the double product added to
    // the float sum: the sum is held in float, the products are not.
    Cell diagonal(0.0f, 0.5f), n(0.0f, 0.5f);
    diagonal.connect(-1, -1, 0, &n, 0.5f);
    diagonal.connect(1, 1, 0, &n, 0.5f);
    diagonal.links[11].population = 1.0f / 3;
    diagonal.links[13].population = 1.0f / 7;
    float sum = float(double(1.0f / 3) * 0.70710677f);
    sum = float(sum + double(1.0f / 7) * 0.70710677f);
    EXPECT_EQ(diagonal.sum_velocity(0.3f), float((1.0 / double(0.3f)) * sum));
}

TEST(Cell, ConnectWiresAndClearsOnlyThePopulationAndIgnoresOffsetsOutsideTheSet) {
    Cell cell(0.0f, 0.5f), n(0.0f, 0.5f), m(0.0f, 0.5f);
    Link& link = cell.links[13];
    link.population = 2.0f;
    link.equilibrium = 3.0f;
    link.post_collision = 4.0f;
    cell.connect(1, 1, 0, &n, 0.25f);
    EXPECT_EQ(link.neighbour, &n);
    EXPECT_EQ(link.velocity, SQRT2 * 0.25f);
    EXPECT_EQ(link.population, 0.0f);
    EXPECT_EQ(link.equilibrium, 3.0f);
    EXPECT_EQ(link.post_collision, 4.0f);
    link.population = 1.0f;
    cell.connect(1, 1, 0, &m, 0.5f);  // rewiring replaces the neighbour and clears again
    EXPECT_EQ(link.neighbour, &m);
    EXPECT_EQ(link.population, 0.0f);
#ifdef NDEBUG
    const auto before = cell.links;
    cell.connect(1, 1, 1, &n, 0.5f);
    cell.connect(5, 0, 0, &n, 0.5f);
    for (int i = 0; i < DIRECTION_COUNT; ++i) EXPECT_EQ(cell.links[i].neighbour, before[i].neighbour);
#else
    EXPECT_DEATH(cell.connect(1, 1, 1, &cell, 0.5f), "");
#endif
}

}  // namespace
