#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <utility>

#include "lattice/cell.h"

namespace {

constexpr float SQRT2 = 1.41421356237f;

Offset offset_of(int i) { return DIRECTION_OFFSETS[i]; }

constexpr float SPEEDS_AT_HALF[] = {0.0f, 0.5f, 0.70710677f};  // rest, axis, diagonal

TEST(VelocitySet, DirectionIndexInvertsTheOffsetTable) {
    for (int i = 0; i < DIRECTION_COUNT; ++i) {
        const Offset o = offset_of(i);
        EXPECT_EQ(direction_index(o.dx, o.dy, o.dz), i);
    }
    EXPECT_EQ(direction_index(0, 0, 0), 0);
    EXPECT_EQ(direction_index(0, 0, -1), 1);
    EXPECT_EQ(direction_index(1, 0, 0), 4);
    EXPECT_EQ(direction_index(-1, -1, 0), 11);
    EXPECT_EQ(direction_index(0, -1, 1), 18);
}

TEST(VelocitySet, OffsetsOutsideTheSetHaveNoDirection) {
    EXPECT_EQ(direction_index(1, 1, 1), -1);
    EXPECT_EQ(direction_index(-1, -1, -1), -1);
    EXPECT_EQ(direction_index(1, -1, 1), -1);
    EXPECT_EQ(direction_index(2, 0, 0), -1);
    EXPECT_EQ(direction_index(0, 0, -2), -1);
    // All eight corners of the cube are missing from D3Q19; there are exactly nineteen members.
    int members = 0;
    for (int dx = -1; dx <= 1; ++dx)
        for (int dy = -1; dy <= 1; ++dy)
            for (int dz = -1; dz <= 1; ++dz) {
                const bool corner = dx != 0 && dy != 0 && dz != 0;
                EXPECT_EQ(direction_index(dx, dy, dz) < 0, corner) << dx << dy << dz;
                members += direction_index(dx, dy, dz) >= 0;
            }
    EXPECT_EQ(members, DIRECTION_COUNT);
}

// The tables' agreement with each other is checked where they are written (static_assert); the
// lookups read them.
TEST(VelocitySet, LookupsReadTheTables) {
    const std::pair<int, int> opposites[] = {{0, 0}, {1, 1}, {6, 6}, {7, 9}, {15, 17}, {12, 14}, {4, 2}};
    for (const auto& [i, o] : opposites) EXPECT_EQ(opposite_direction(i), o) << i;
    EXPECT_EQ(direction_length(0), 0.0f);
    EXPECT_EQ(direction_length(6), 1.0f);
    EXPECT_EQ(direction_length(18), SQRT2);
    EXPECT_EQ(eq_weight(0), 1.0f / 3);
    EXPECT_EQ(eq_linear(3), 1.0f / 6);
    EXPECT_EQ(eq_quadratic(11), 1.0f / 8);
    EXPECT_EQ(eq_square(16), -1.0f / 24);
}

TEST(VelocitySet, LookupsOutsideTheSetAreSafe) {
#ifdef NDEBUG
    for (int i : {-1, 19, 1000, -1000}) {
        EXPECT_EQ(opposite_direction(i), -1);
        EXPECT_EQ(direction_length(i), 0.0f);
        EXPECT_EQ(eq_weight(i), 0.0f);
        EXPECT_EQ(eq_linear(i), 0.0f);
        EXPECT_EQ(eq_quadratic(i), 0.0f);
        EXPECT_EQ(eq_square(i), 0.0f);
    }
#else
    EXPECT_DEATH(opposite_direction(19), "");
    EXPECT_DEATH(eq_weight(-1), "");
#endif
}

TEST(Cell, StartsWithOnlyTheRestLinkWired) {
    Cell cell(0.25f, 0.5f);
    EXPECT_EQ(cell.smoke, 0.25f);
    EXPECT_EQ(cell.is_source, 0);
    EXPECT_EQ(cell.density, 0.0f);
    EXPECT_EQ(cell.velocity, 0.0f);
    EXPECT_EQ(cell.links[0].neighbour, &cell);
    for (int i = 0; i < DIRECTION_COUNT; ++i) {
        const Link& link = cell.links[i];
        if (i > 0) {
            EXPECT_EQ(link.neighbour, nullptr);
        }
        EXPECT_EQ(link.velocity, SPEEDS_AT_HALF[DIRECTION_CLASSES[i]]);
        EXPECT_EQ(link.population, 0.0f);
        EXPECT_EQ(link.equilibrium, 0.0f);
        EXPECT_EQ(link.post_collision, 0.0f);
    }
    EXPECT_EQ(cell.sum_density(), 0.0f);
    EXPECT_EQ(cell.sum_velocity(0.0f), 0.0f);
}

TEST(Cell, SumsCountWiredLinksOnly) {
    Cell cell(0.0f, 0.5f);
    cell.links[4].population = 3.0f;  // unwired: ignored
    EXPECT_EQ(cell.sum_density(), 0.0f);
    EXPECT_EQ(cell.sum_velocity(1.0f), 0.0f);

    cell.links[0].population = 0.75f;  // the rest link always counts but moves nothing
    EXPECT_EQ(cell.sum_density(), 0.75f);
    EXPECT_EQ(cell.sum_velocity(0.75f), 0.0f);
}

TEST(Cell, SumVelocityIsMomentumOverDensityAndZeroForZeroDensity) {
    Cell cell(0.0f, 0.5f), left(0.0f, 0.5f), right(0.0f, 0.5f);
    cell.connect(-1, 0, 0, &left, 0.5f);
    cell.connect(1, 0, 0, &right, 0.5f);
    cell.links[2].population = 1.0f;
    cell.links[4].population = 1.0f;
    EXPECT_EQ(cell.sum_velocity(2.0f), 0.5f);
    EXPECT_EQ(cell.sum_velocity(0.0f), 0.0f);
    EXPECT_EQ(cell.sum_velocity(-0.0f), 0.0f);
    EXPECT_EQ(cell.sum_velocity(-4.0f), -0.25f);  // no guard besides zero
}

TEST(Cell, SumVelocityRoundsOnlyTheRunningSum) {
    // 1/3 * 0.70710677 rounded to float per product would give a different last bit than the double
    // product added to the float sum: the sum is held in float, the products are not.
    Cell cell(0.0f, 0.5f), n(0.0f, 0.5f);
    cell.connect(-1, -1, 0, &n, 0.5f);
    cell.connect(1, 1, 0, &n, 0.5f);
    cell.links[11].population = 1.0f / 3;
    cell.links[13].population = 1.0f / 7;
    float sum = float(double(1.0f / 3) * 0.70710677f);
    sum = float(sum + double(1.0f / 7) * 0.70710677f);
    const float expected = float((1.0 / double(0.3f)) * sum);
    EXPECT_EQ(cell.sum_velocity(0.3f), expected);
}

TEST(Cell, ConnectWiresAndClearsOnlyThePopulation) {
    Cell cell(0.0f, 0.5f), n(0.0f, 0.5f), m(0.0f, 0.5f);
    Link& link = cell.links[13];
    link.population = 2.0f;
    link.equilibrium = 3.0f;
    link.post_collision = 4.0f;
    link.velocity = 9.0f;
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
}

TEST(Cell, ConnectIgnoresOffsetsOutsideTheSet) {
#ifdef NDEBUG
    Cell cell(0.0f, 0.5f), n(0.0f, 0.5f);
    const auto before = cell.links;
    cell.connect(1, 1, 1, &n, 0.5f);
    cell.connect(5, 0, 0, &n, 0.5f);
    for (int i = 0; i < DIRECTION_COUNT; ++i) EXPECT_EQ(cell.links[i].neighbour, before[i].neighbour);
#else
    Cell cell(0.0f, 0.5f);
    EXPECT_DEATH(cell.connect(1, 1, 1, &cell, 0.5f), "");
#endif
}

}  // namespace
