#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "lattice/lattice.h"
#include "lattice/survey.h"
#include "testing.h"
#include "vector_cell.h"

namespace {

constexpr float SPEED = 0.5f;

TEST(Plane, EveryLinkFollowsItsOffsetAndHasAPartnerBack) {
    Plane plane(SPEED);
    for (int y = 0; y < GRID_SIZE; ++y) {
        for (int x = 0; x < GRID_SIZE; ++x) {
            const Cell* c = plane.cell(x, y);
            ASSERT_EQ(c->links[0].neighbour, c);
            int wired = 0;
            for (int i = 1; i < DIRECTION_COUNT; ++i) {
                const Offset o = DIRECTION_OFFSETS[i];
                const Cell* n = c->links[i].neighbour;
                const bool inside = o.dz == 0 && plane.contains(x + o.dx, y - o.dy);
                ASSERT_EQ(n != nullptr, inside) << x << "," << y << " direction " << i;
                if (!n) continue;
                ++wired;
                EXPECT_EQ(n, plane.cell(x + o.dx, y - o.dy));
                EXPECT_EQ(n->links[opposite_direction(i)].neighbour, c);
                EXPECT_EQ(c->links[i].velocity, DIRECTION_CLASSES[i] == AXIS ? 0.5f : 0.70710677f);
            }
            const bool edge_x = x == 0 || x == 49, edge_y = y == 0 || y == 49;
            EXPECT_EQ(wired, edge_x && edge_y ? 3 : edge_x || edge_y ? 5 : 8) << x << "," << y;
        }
    }
}


TEST(Seeded, SourceLinksGetTheSeedValuesWiredOrNot) {
    const auto lattice = make_world();
    const Plane& plane = *lattice->planes[0];
    const Cell* source = plane.cell(25, 49);
    EXPECT_EQ(source->is_source, 1);
    EXPECT_EQ(source->smoke, 0.42f);
    EXPECT_EQ(source->density, 0.0f);
    EXPECT_EQ(source->velocity, 0.0f);
    double total = 0;
    for (int i = 0; i < DIRECTION_COUNT; ++i) {
        const float expected = std::array<float, 3>{-0.06999999f, 0.049583334f, 0.024791667f}[DIRECTION_CLASSES[i]];
        EXPECT_EQ(source->links[i].population, expected) << "direction " << i;
        EXPECT_EQ(source->links[i].equilibrium, 0.0f);
        EXPECT_EQ(source->links[i].post_collision, 0.0f);
        total += source->links[i].population;
    }
    EXPECT_NEAR(total, 0.525, 1e-6);  // 1.25 times the smoke
}

TEST(Lattice, PositionsAndSourcesOutsideTheGridAreRefused) {
    Lattice lattice(WORLD_TAU, WORLD_LATTICE_SPEED);
#ifdef NDEBUG
    Plane& plane = *lattice.planes[0];
    EXPECT_EQ(plane.cell(-1, 0), nullptr);
    EXPECT_EQ(plane.cell(0, 50), nullptr);
    EXPECT_EQ(plane.cell(50, 49), nullptr);
    plane.set_cell_smoke(50, 0, 1.0f, SPEED);  // no-op, no crash
    for (const auto& [x, y, p] : {std::tuple{50, 0, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}}) lattice.add_source(x, y, p, 1.0f, SPEED);
    for (const auto& cell : plane.cells) {
        ASSERT_EQ(cell->smoke, 0.0f);
        ASSERT_EQ(cell->is_source, 0);
    }
#else
    EXPECT_DEATH(lattice.planes[0]->cell(50, 0), "");
    EXPECT_DEATH(lattice.add_source(0, 0, 1, 1.0f, SPEED), "");
#endif
}

TEST(Survey, ReadsAnyModelThroughItsFields) {
    VectorWorld world;
    const Fields& fields = vector_cell_fields();
    Survey s = survey(fields, world.extent, world.reader());
    EXPECT_EQ(s.largest_finite_smoke, 70.0f);
    EXPECT_EQ(s.nonfinite_cells, 0u);
    EXPECT_FALSE(s.first_nonfinite);

    world.at({0, 1, 1}, 0) = INFINITY;  // cell 6's smoke: no longer the largest
    world.at({1, 1, 1}, 0) = NAN;       // cell 7's
    world.at({1, 1, 0}, 2) = NAN;       // cell 3's velocity_y, the first in order
    world.at({0, 0, 1}, 4) = -INFINITY; // cell 4's solid
    s = survey(fields, world.extent, world.reader());
    EXPECT_EQ(s.largest_finite_smoke, 50.0f);
    EXPECT_EQ(s.nonfinite_cells, 4u);
    ASSERT_TRUE(s.first_nonfinite);
    EXPECT_EQ(s.first_nonfinite->cell.column * 100 + s.first_nonfinite->cell.row * 10 + s.first_nonfinite->cell.plane, 110);
    EXPECT_EQ(fields.quantity_name(s.first_nonfinite->quantity), "velocity y");
    EXPECT_TRUE(std::isnan(s.first_nonfinite->value));
}

}  // namespace
