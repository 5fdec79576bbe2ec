// Worlds of other shapes against a stepper derived independently: cells addressed by position, a
// neighbour found from the offset table as (x + dx, y - dy, plane + dz), no pointers followed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "lattice/lattice.h"
#include "lattice/survey.h"

namespace {

std::uint32_t bits(float f) {
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

struct Grid {
    World world;
    std::vector<float> smoke, density, velocity;
    std::vector<std::array<float, DIRECTION_COUNT>> population, post;

    explicit Grid(const World& w) : world(w) {
        const std::size_t n = std::size_t(w.columns) * w.rows * w.planes;
        smoke.assign(n, 0.0f);
        density.assign(n, 0.0f);
        velocity.assign(n, 0.0f);
        population.assign(n, {});
        post.assign(n, {});
        for (const Source& s : w.sources) seed(s);
    }

    // The cell at a position, or -1 outside the world.
    long at(int x, int y, int p) const {
        if (x < 0 || y < 0 || p < 0 || x >= world.columns || y >= world.rows || p >= world.planes) return -1;
        return (long(p) * world.rows + y) * world.columns + x;
    }
    long neighbour(long cell, int i) const {
        const int x = int(cell % world.columns), y = int(cell / world.columns % world.rows);
        const int p = int(cell / world.columns / world.rows);
        const Offset o = DIRECTION_OFFSETS[i];
        return at(x + o.dx, y - o.dy, p + o.dz);
    }
    float link_speed(int i) const { return direction_length(i) * world.speed; }

    void seed(const Source& s) {
        const long c = at(s.column, s.row, s.plane);
        smoke[c] = s.smoke;
        const double speed = world.speed;
        for (int i = 0; i < DIRECTION_COUNT; ++i) {
            float coefficient = static_cast<float>(eq_weight(i) + eq_linear(i) * speed);
            coefficient = static_cast<float>(coefficient + eq_quadratic(i) * speed * speed);
            coefficient = static_cast<float>(coefficient + double(eq_square(i)));
            population[c][i] = s.smoke * coefficient;
            if (const long n = neighbour(c, i); n >= 0) population[n][opposite_direction(i)] = population[c][i];
        }
    }

    void step() {
        const float omega = static_cast<float>(1.0 / double(world.tau));
        for (long c = 0; c < long(smoke.size()); ++c) {
            float rho = 0.0f, momentum = 0.0f;
            for (int i = 0; i < DIRECTION_COUNT; ++i) {
                if (neighbour(c, i) < 0) continue;
                rho = static_cast<float>(double(rho) + population[c][i]);
                momentum = static_cast<float>(momentum + double(population[c][i]) * link_speed(i));
            }
            const float u = rho == 0.0f ? 0.0f : static_cast<float>((1.0 / rho) * momentum);
            density[c] = rho;
            velocity[c] = u;
            for (int j = 0; j < DIRECTION_COUNT; ++j) {
                const float s = static_cast<float>(double(direction_length(j)) * u);
                const float t2 = static_cast<float>(double(eq_linear(j)) * s);
                const float t3 = static_cast<float>(double(static_cast<float>(double(s) * s)) * eq_quadratic(j));
                const float t4 = static_cast<float>(double(eq_square(j)) * u * u);
                const float eq = static_cast<float>((((double(eq_weight(j)) + t2) + t3) + t4) * rho);
                const float delta = static_cast<float>(double(population[c][j]) - eq);
                post[c][j] = static_cast<float>(double(population[c][j]) - double(omega) * delta);
            }
        }
        // Planes, then rows from 0, then columns from 0: the order of every smoke addition and raise.
        for (long c = 0; c < long(smoke.size()); ++c) {
            for (int l = 0; l < DIRECTION_COUNT; ++l) {
                const int d = opposite_direction(l);
                const float v = post[c][d];
                const long n = neighbour(c, d);
                smoke[n >= 0 ? n : c] = static_cast<float>(double(smoke[n >= 0 ? n : c]) + v);
                population[c][d] = v;
                if (n >= 0 && v > population[n][l]) population[n][l] = v;
            }
        }
    }
};

void expect_same(const Lattice& lattice, const Grid& grid, int step) {
    for (int p = 0; p < grid.world.planes; ++p) {
        for (int y = 0; y < grid.world.rows; ++y) {
            for (int x = 0; x < grid.world.columns; ++x) {
                const Cell& a = *lattice.cell(x, y, p);
                const long c = grid.at(x, y, p);
                const auto where = [&] { return testing::Message() << "step " << step << " cell " << x << "," << y << "," << p; };
                ASSERT_EQ(bits(a.smoke), bits(grid.smoke[c])) << where();
                ASSERT_EQ(bits(a.density), bits(grid.density[c])) << where();
                ASSERT_EQ(bits(a.velocity), bits(grid.velocity[c])) << where();
                for (int i = 0; i < DIRECTION_COUNT; ++i) {
                    ASSERT_EQ(bits(a.links[i].population), bits(grid.population[c][i])) << where() << " link " << i;
                }
            }
        }
    }
}

World shaped(int columns, int rows, int planes, float tau, std::vector<Source> sources) {
    World w;
    w.columns = columns;
    w.rows = rows;
    w.planes = planes;
    w.tau = tau;
    w.speed = 0.3f;
    w.sources = std::move(sources);
    w.report_row = 0;
    return w;
}

TEST(Worlds, OtherShapesFollowTheModelsRulesExactly) {
    const std::vector<World> worlds = {
        shaped(37, 23, 3, 0.7f, {{5, 22, 0, 1.5f}, {30, 10, 2, 0.2f}, {5, 21, 1, -0.4f}}),
        shaped(1, 1, 1, 0.56f, {{0, 0, 0, 0.42f}}),
        shaped(1, 9, 4, 0.9f, {{0, 8, 3, 2.0f}, {0, 0, 0, 1.0f}}),
        shaped(6, 2, 2, 1.3f, {{5, 1, 1, 0.8f}, {5, 1, 1, 0.1f}}),  // seeded twice: the last wins
    };
    for (const World& w : worlds) {
        const auto lattice = make_world(w);
        Grid grid(w);
        for (int step = 1; step <= 60; ++step) {
            lattice->advance();
            grid.step();
            expect_same(*lattice, grid, step);
            if (HasFatalFailure()) return;
        }
    }
}

TEST(Worlds, TheReportReadsItsRowAndAtMostTenColumns) {
    World w = shaped(4, 6, 2, 0.56f, {{1, 5, 0, 0.42f}});
    w.report_row = 3;
    const auto lattice = make_world(w);
    lattice->cell(2, 3, 0)->smoke = 0.25f;
    lattice->cell(2, 3, 1)->smoke = 9.0f;  // plane 1 is never reported
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    lattice->report(out);
    std::fclose(out);
    EXPECT_EQ(std::string(text, size),
              "Lattice 0: 0.000000 / 0.000000\nLattice 1: 0.000000 / 0.000000\n"
              "Lattice 2: 0.250000 / 0.000000\nLattice 3: 0.000000 / 0.000000\n\n");
    std::free(text);
}

}  // namespace

namespace {

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
    EXPECT_EQ(quantity_name(3 + 18), "population 18");
}

}  // namespace
