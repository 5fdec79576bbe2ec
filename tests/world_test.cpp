// Worlds of other shapes: their report, reseeding, and the survey of their cells.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "lattice/lattice.h"
#include "lattice/survey.h"
#include "testing.h"

namespace {

World shaped(int columns, int rows, int planes, float tau, std::vector<Source> sources) {
    World w = world_of(columns, rows, planes, std::move(sources));
    w.tau = tau;
    w.speed = 0.3f;
    return w;
}

TEST(Worlds, TheReportReadsItsRowAndAtMostTenColumns) {
    World w = shaped(4, 6, 2, 0.56f, {{1, 5, 0, 0.42f}});
    w.report_row = 3;
    const auto lattice = make_world(w);
    lattice->cell(2, 3, 0)->smoke = 0.25f;
    lattice->cell(2, 3, 1)->smoke = 9.0f;  // plane 1 is never reported
    EXPECT_EQ(report_text(*lattice),
              "Lattice 0: 0.000000 / 0.000000\nLattice 1: 0.000000 / 0.000000\n"
              "Lattice 2: 0.250000 / 0.000000\nLattice 3: 0.000000 / 0.000000\n\n");
}

// Every value of every cell and of the lattice, bit for bit, and which links are wired.
std::string lattice_bits(const Lattice& lattice) {
    std::string bits;
    const auto add = [&](const auto& value) { bits.append(reinterpret_cast<const char*>(&value), sizeof value); };
    add(lattice.tau);
    add(lattice.report_row);
    for (const auto& plane : lattice.planes)
        for (const auto& cell : plane->cells) {
            for (const Link& link : cell->links) {
                for (const float value : {link.velocity, link.population, link.equilibrium, link.post_collision}) add(value);
                add(link.neighbour != nullptr);
            }
            for (const float value : {cell->density, cell->velocity, cell->smoke}) add(value);
            add(cell->is_source);
        }
    return bits;
}

// Reseeding to another world's tau, report row and sources, far into inf and nan, gives what a
// lattice built for it would have, bit for bit, then and after more steps.
TEST(Worlds, ReseedingMakesALatticeAFreshOneBitForBit) {
    for (const float speed : {0.3f, -0.0f}) {  // -0: the rest link's speed stays +0
        World built = world_of(37, 23, 3, {{2, 4, 0, 0.3f}}, 1);
        built.tau = 0.9f;
        built.speed = speed;
        // The order of the sources counts: the same cell twice.
        World wanted = world_of(37, 23, 3, {{5, 22, 0, 1.5f}, {30, 10, 2, 0.2f}, {5, 22, 0, -0.1f}}, 4);
        wanted.tau = 0.7f;
        wanted.speed = speed;
        const auto lattice = make_world(wanted), fresh = make_world(wanted), other = make_world(built);
        for (int i = 0; i < 120; ++i) lattice->advance();
        lattice->reseed(wanted);
        other->reseed(wanted);
        EXPECT_TRUE(lattice_bits(*lattice) == lattice_bits(*fresh)) << "speed " << speed;
        EXPECT_TRUE(lattice_bits(*other) == lattice_bits(*fresh)) << "speed " << speed;
        for (int i = 0; i < 60; ++i) {
            lattice->advance();
            fresh->advance();
        }
        EXPECT_TRUE(lattice_bits(*lattice) == lattice_bits(*fresh)) << "speed " << speed;
    }
}

TEST(Survey, FindsTheFirstNonFiniteValueInPlaneRowColumnOrder) {
    World w = shaped(5, 4, 3, 0.56f, {});
    const auto lattice = make_world(w);
    Survey s = survey(*lattice);
    EXPECT_EQ(s.largest_finite_smoke, 0.0f);
    EXPECT_EQ(s.nonfinite_cells, 0u);
    EXPECT_FALSE(s.first_nonfinite);

    lattice->cell(0, 0, 2)->smoke = NAN;                      // a later plane
    lattice->cell(4, 1, 1)->links[7].population = INFINITY;  // a later row of plane 1
    lattice->cell(3, 0, 1)->links[18].population = -INFINITY;
    lattice->cell(3, 0, 1)->density = NAN;                    // before the populations
    lattice->cell(1, 2, 0)->smoke = 7.5f;
    lattice->cell(2, 2, 0)->smoke = -9.0f;
    s = survey(*lattice);
    EXPECT_EQ(s.largest_finite_smoke, 7.5f);
    EXPECT_EQ(s.nonfinite_cells, 3u);
    ASSERT_TRUE(s.first_nonfinite);
    EXPECT_EQ(s.first_nonfinite->cell.column, 3);
    EXPECT_EQ(s.first_nonfinite->cell.row, 0);
    EXPECT_EQ(s.first_nonfinite->cell.plane, 1);
    EXPECT_EQ(quantity_name(s.first_nonfinite->quantity), "density");
    EXPECT_TRUE(std::isnan(s.first_nonfinite->value));
    const std::string names[] = {quantity_name(0), quantity_name(2), quantity_name(3), quantity_name(3 + 18)};
    EXPECT_EQ(names[0] + "," + names[1] + "," + names[2] + "," + names[3], "smoke,velocity,population 0,population 18");
}

}  // namespace
