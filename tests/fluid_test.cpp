// Fast unit tests of the textbook fluid, aimed where its faults would live: the velocity set, the
// equilibrium, the boundaries' signs, forcing, the smoke's bookkeeping, the rules and the report.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <numeric>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "fluid/fluid.h"
#include "lattice/cell.h"

namespace {

using fluid::Face;
using fluid::Fluid;
using fluid::Kind;
using fluid::Vec3;

void run(Fluid& f, int steps) {
    for (int i = 0; i < steps; ++i) f.advance();
}

std::string report_text(const Fluid& f) {
    std::FILE* out = std::tmpfile();
    f.report(out);
    std::rewind(out);
    std::string text;
    for (int c; (c = std::fgetc(out)) != EOF;) text += char(c);
    std::fclose(out);
    return text;
}

TEST(FluidVelocitySet, NumberingIsTheDemonstrationsAndOppositesAreTrueReverses) {
    for (int i = 0; i < fluid::Q; ++i) {
        EXPECT_EQ(fluid::OFFSETS[i].dx, DIRECTION_OFFSETS[i].dx) << i;
        EXPECT_EQ(fluid::OFFSETS[i].dy, DIRECTION_OFFSETS[i].dy) << i;
        EXPECT_EQ(fluid::OFFSETS[i].dz, DIRECTION_OFFSETS[i].dz) << i;
    }
    const int opposite[fluid::Q] = {0, 6, 4, 5, 2, 3, 1, 17, 18, 15, 16, 13, 14, 11, 12, 9, 10, 7, 8};
    for (int i = 0; i < fluid::Q; ++i) EXPECT_EQ(fluid::opposite_of(i), opposite[i]) << i;
    // A positive dy leads to the previous row: its grid velocity points down the rows.
    EXPECT_EQ(fluid::velocity_of(3).y, -1);
    EXPECT_EQ(fluid::velocity_of(13).x, 1);
    EXPECT_EQ(fluid::velocity_of(13).y, -1);
}

TEST(FluidVelocitySet, EquilibriumHasTheGivenMoments) {
    const double rho = 1.2, ux = 0.1, uy = -0.05, uz = 0.02;
    const auto f = fluid::equilibrium(rho, ux, uy, uz);
    double m = 0, jx = 0, jy = 0, jz = 0, pxx = 0, pxy = 0;
    for (int i = 0; i < fluid::Q; ++i) {
        const auto c = fluid::velocity_of(i);
        m += f[i];
        jx += f[i] * c.x;
        jy += f[i] * c.y;
        jz += f[i] * c.z;
        pxx += f[i] * c.x * c.x;
        pxy += f[i] * c.x * c.y;
    }
    EXPECT_NEAR(m, 1.2, 1e-15);
    EXPECT_NEAR(jx, 0.12, 1e-15);
    EXPECT_NEAR(jy, -0.06, 1e-15);
    EXPECT_NEAR(jz, 0.024, 1e-15);
    EXPECT_NEAR(pxx, 0.412, 1e-15);    // rho / 3 + rho ux^2
    EXPECT_NEAR(pxy, -0.006, 1e-15);   // rho ux uy
    EXPECT_NEAR(f[0], 0.39226, 1e-15);
    EXPECT_NEAR(f[4], 0.0883766666666667, 1e-15);
    EXPECT_NEAR(f[13], 0.0510633333333333, 1e-15);
}

TEST(Fluid, UniformFlowIsASteadyStateOfTheStep) {
    fluid::Setup s;
    s.columns = 5;
    s.rows = 4;
    s.planes = 3;
    s.report_row = 0;
    s.flow = {0.1, -0.05, 0.02};
    Fluid f(s);
    run(f, 5);
    const auto expected = fluid::equilibrium(1, 0.1, -0.05, 0.02);
    for (int i : {0, 4, 13}) EXPECT_NEAR(f.population(2, 1, 1, i), expected[i], 1e-7) << i;
    const Vec3 u = f.velocity(4, 3, 2);
    EXPECT_NEAR(u.x, 0.1, 1e-7);
    EXPECT_NEAR(u.y, -0.05, 1e-7);
    EXPECT_NEAR(u.z, 0.02, 1e-7);
}

TEST(Fluid, TaylorGreenStartsWithItsVelocityAtACell) {
    fluid::Setup s;
    s.columns = 64;
    s.rows = 32;
    s.taylor_green = 0.04;
    s.flow = {0.01, 0, 0.02};
    Fluid f(s);
    // Cell (8, 4): both angles are pi/4, so u_x = -0.04/2 + 0.01 and u_y = 0.04 (32/64) / 2.
    const Vec3 u = f.velocity(8, 4, 0);
    EXPECT_NEAR(u.x, -0.01, 1e-7);
    EXPECT_NEAR(u.y, 0.01, 1e-7);
    EXPECT_NEAR(u.z, 0.02, 1e-7);
    EXPECT_NEAR(f.density(8, 4, 0), 1, 1e-7);
}

TEST(Fluid, WallsKeepAFluidAtRestAtRest) {
    fluid::Setup s;
    s.columns = 6;
    s.rows = 5;
    s.planes = 4;
    s.report_row = 0;
    for (auto& face : s.faces) face.kind = Kind::wall;
    s.discs = {{2, 2, 1}};
    // The disc of radius 1 holds its centre and the four cells at distance 1, in every plane.
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 6; ++x) {
            const bool inside = (x == 2 && y >= 1 && y <= 3) || (y == 2 && x >= 1 && x <= 3);
            EXPECT_EQ(fluid::on_obstacle(s, x, y), inside) << x << "," << y;
        }
    }
    {
        // An initial flow starts exactly at every fluid cell, those beside walls and the disc too.
        fluid::Setup moving = s;
        moving.flow = {0.05, -0.03, 0.02};
        const Fluid f(moving);
        for (int z = 0; z < 4; ++z) {
            for (int y = 0; y < 5; ++y) {
                for (int x = 0; x < 6; ++x) {
                    EXPECT_EQ(f.solid(x, y, z), fluid::on_obstacle(s, x, y));
                    if (f.solid(x, y, z)) continue;
                    const Vec3 u = f.velocity(x, y, z);
                    EXPECT_NEAR(u.x, 0.05, 1e-7) << x << "," << y << "," << z;
                    EXPECT_NEAR(u.y, -0.03, 1e-7) << x << "," << y << "," << z;
                    EXPECT_NEAR(u.z, 0.02, 1e-7) << x << "," << y << "," << z;
                    EXPECT_NEAR(f.density(x, y, z), 1, 1e-7) << x << "," << y << "," << z;
                }
            }
        }
    }
    Fluid f(s);
    run(f, 50);
    for (int z = 0; z < 4; ++z) {
        for (int y = 0; y < 5; ++y) {
            for (int x = 0; x < 6; ++x) {
                const Vec3 u = f.velocity(x, y, z);
                EXPECT_EQ(u.x, 0);
                EXPECT_EQ(u.y, 0);
                EXPECT_EQ(u.z, 0);
                EXPECT_EQ(f.density(x, y, z), 1);
            }
        }
    }
}

TEST(Fluid, AMovingWallDragsTheFluidItsWay) {
    for (const double lid : {0.05, -0.05}) {
        // Plane Couette flow: a channel, periodic along the columns, between a wall at rest and a lid.
        fluid::Setup s;
        s.columns = 4;
        s.rows = 8;
        s.report_row = 0;
        s.face(Face::bottom).kind = Kind::wall;
        s.face(Face::top) = {Kind::wall, Vec3{lid, 0, 0}};
        Fluid f(s);
        run(f, 20);
        EXPECT_GT(f.velocity(1, 7, 0).x * lid, 0) << lid;
        EXPECT_GT(std::fabs(f.velocity(1, 7, 0).x), std::fabs(f.velocity(1, 3, 0).x)) << lid;
        double momentum = 0;
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 4; ++x) momentum += f.density(x, y, 0) * f.velocity(x, y, 0).x;
        }
        EXPECT_GT(momentum * lid, 0) << lid;
        EXPECT_NEAR(f.total_mass(), 32, 1e-5) << "a tangential lid adds no mass";
        // Long after, the profile is the straight line from 0 at y = -1/2 to the lid's speed at y = 7.5.
        run(f, 4000);
        EXPECT_NEAR(f.velocity(2, 5, 0).x, lid * 5.5 / 8, 1e-3 * std::fabs(lid)) << lid;
    }
}

TEST(Fluid, BodyForceAddsItsMomentumEachStep) {
    fluid::Setup s;
    s.columns = s.rows = 4;
    s.report_row = 0;
    s.force = {1e-4, -2e-4, 0};
    Fluid f(s);
    run(f, 10);
    // Momentum F per step, and the velocity includes half the force: 10.5 F at density 1.
    const Vec3 u = f.velocity(1, 2, 0);
    EXPECT_NEAR(u.x, 1.05e-3, 1e-8);
    EXPECT_NEAR(u.y, -2.1e-3, 1e-8);
    EXPECT_NEAR(f.density(1, 2, 0), 1, 1e-6);

    // Buoyancy on smoke 2 in every cell is a uniform force 2 b toward increasing rows: the same rate,
    // half of it in the velocity right away.
    fluid::Setup buoyant;
    buoyant.columns = buoyant.rows = 4;
    buoyant.report_row = 0;
    buoyant.buoyancy = 1e-4;
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) buoyant.puffs.push_back({x, y, 0, 2.0f});
    }
    Fluid b(buoyant);
    EXPECT_NEAR(b.velocity(2, 1, 0).y, 1e-4, 1e-9);
    run(b, 10);
    EXPECT_NEAR(b.velocity(2, 1, 0).y, 2.1e-3, 1e-8);
    EXPECT_NEAR(b.velocity(2, 1, 0).x, 0, 1e-9);
    EXPECT_NEAR(b.smoke(2, 1, 0), 2, 1e-6);
}

// One step of a uniform fluid under a force, against Guo's scheme written out in double:
// f_i + omega (f_i^eq(u) - f_i) + (1 - omega / 2) w_i (3 (c_i - u).F + 9 (c_i.u)(c_i.F)), u = u0 + F / 2.
TEST(Fluid, OneForcedStepIsGuosScheme) {
    fluid::Setup s;
    s.columns = s.rows = s.planes = 3;
    s.report_row = 0;
    s.tau = 0.8;
    s.flow = {0.1, -0.05, 0.08};
    s.force = {0.01, 0.02, -0.015};
    Fluid f(s);
    f.advance();
    const double omega = 1 / s.tau;
    const double ux = s.flow.x + s.force.x / 2, uy = s.flow.y + s.force.y / 2, uz = s.flow.z + s.force.z / 2;
    const auto before = fluid::equilibrium(1, s.flow.x, s.flow.y, s.flow.z);
    const auto target = fluid::equilibrium(1, ux, uy, uz);
    for (int i = 0; i < fluid::Q; ++i) {
        const auto c = fluid::velocity_of(i);
        const double cu = c.x * ux + c.y * uy + c.z * uz;
        const double cF = c.x * s.force.x + c.y * s.force.y + c.z * s.force.z;
        const double uF = ux * s.force.x + uy * s.force.y + uz * s.force.z;
        const double expected = before[i] + omega * (target[i] - before[i]) +
                                (1 - omega / 2) * fluid::weight_of(i) * (3 * (cF - uF) + 9 * cu * cF);
        EXPECT_NEAR(f.population(1, 2, 0, i), expected, 2e-7) << i;
        EXPECT_NEAR(f.population(0, 0, 2, i), expected, 2e-7) << i;
    }
}

// The step written out plainly in double, apart from the fluid's gather and sweep, from the
// populations the fluid shows and the smoke's seven populations per cell, which the caller follows
// (the fluid shows only each cell's total):
// - collision: BGK toward rho w_i (1 + 3 c.u + 4.5 (c.u)^2 - 1.5 u^2), Guo's forcing with the smoke's
//   buoyancy, u = (j + F / 2) / rho; the smoke toward w_i C (1 + 4 c_i.u) at its own rate;
// - then each population from the cell behind it along c_i, by the faces' rules:
//   across a wall, bounce-back: the cell's own population of the opposite direction, plus
//   6 w_i (c_i . u_wall) for a moving wall (density taken as 1), the smoke bouncing alike;
//   across an inflow, the same with the inflow's velocity, and no smoke;
//   across an outflow, the cell behind clamped to the face's edge cell; across a periodic face, wrapped;
//   through two or three faces at once, the first wall in the order left, right, bottom, top, front,
//   back, else the first inflow, else the cell behind folded along each;
//   from an obstacle's cell, bounce-back at rest;
// - then the sources' smoke joins their cells' rest populations.
using Smoke = std::array<double, fluid::SMOKE_Q>;

struct PlainStep {
    std::vector<std::array<double, fluid::Q>> f;  // per cell, what the next collision starts from
    std::vector<Smoke> g;                          // the same for the smoke
};

PlainStep plain_step(const Fluid& fl, const std::vector<Smoke>& smoke) {
    const fluid::Setup& s = fl.setup();
    const int X = fl.columns(), Y = fl.rows(), Z = fl.planes();
    const auto at = [&](int x, int y, int z) { return std::size_t((z * Y + y) * X + x); };
    const double omega = 1 / s.tau, omega_smoke = 1 / (s.diffusivity / fluid::SMOKE_CS2 + 0.5);
    std::vector<std::array<double, fluid::Q>> sent(std::size_t(X * Y * Z));
    std::vector<Smoke> smoke_sent(sent.size());
    for (int z = 0; z < Z; ++z) {
        for (int y = 0; y < Y; ++y) {
            for (int x = 0; x < X; ++x) {
                const Fluid::Cell c = fl.cell(x, y, z);
                if (c.solid) continue;
                double rho = 0, j[3] = {0, 0, 0};
                for (int i = 0; i < fluid::Q; ++i) {
                    const auto v = fluid::velocity_of(i);
                    rho += c.populations[i];
                    j[0] += v.x * c.populations[i];
                    j[1] += v.y * c.populations[i];
                    j[2] += v.z * c.populations[i];
                }
                const double F[3] = {s.force.x, s.force.y + s.buoyancy * c.smoke, s.force.z};
                const double u[3] = {(j[0] + F[0] / 2) / rho, (j[1] + F[1] / 2) / rho, (j[2] + F[2] / 2) / rho};
                const double uu = u[0] * u[0] + u[1] * u[1] + u[2] * u[2], uF = u[0] * F[0] + u[1] * F[1] + u[2] * F[2];
                for (int i = 0; i < fluid::Q; ++i) {
                    const auto v = fluid::velocity_of(i);
                    const double w = fluid::weight_of(i), cu = v.x * u[0] + v.y * u[1] + v.z * u[2];
                    const double cF = v.x * F[0] + v.y * F[1] + v.z * F[2];
                    const double eq = w * rho * (1 + 3 * cu + 4.5 * cu * cu - 1.5 * uu);
                    sent[at(x, y, z)][i] = c.populations[i] + omega * (eq - c.populations[i]) +
                                           (1 - omega / 2) * w * (3 * (cF - uF) + 9 * cu * cF);
                }
                const Smoke& g = smoke[at(x, y, z)];
                const double C = std::accumulate(g.begin(), g.end(), 0.0);
                for (int i = 0; i < fluid::SMOKE_Q; ++i) {
                    const auto v = fluid::velocity_of(i);
                    const double eq = fluid::smoke_weight_of(i) * C * (1 + 4 * (v.x * u[0] + v.y * u[1] + v.z * u[2]));
                    smoke_sent[at(x, y, z)][i] = g[i] + omega_smoke * (eq - g[i]);
                }
            }
        }
    }
    PlainStep next{std::vector<std::array<double, fluid::Q>>(sent.size()), std::vector<Smoke>(smoke_sent.size())};
    const int n[3] = {X, Y, Z};
    for (int z = 0; z < Z; ++z) {
        for (int y = 0; y < Y; ++y) {
            for (int x = 0; x < X; ++x) {
                if (fl.solid(x, y, z)) continue;
                const std::size_t own = at(x, y, z);
                for (int i = 0; i < fluid::Q; ++i) {
                    const auto v = fluid::velocity_of(i);
                    const int c[3] = {v.x, v.y, v.z};
                    int from[3] = {x - v.x, y - v.y, z - v.z};
                    // The faces crossed, in the order left, right, bottom, top, front, back.
                    std::vector<const fluid::Boundary*> crossed;
                    for (int a = 0; a < 3; ++a) {
                        if (from[a] < 0 || from[a] >= n[a]) crossed.push_back(&s.faces[2 * a + (from[a] < 0 ? 0 : 1)]);
                        if (from[a] < 0) from[a] = crossed.back()->kind == Kind::periodic ? from[a] + n[a] : 0;
                        if (from[a] >= n[a]) from[a] = crossed.back()->kind == Kind::periodic ? from[a] - n[a] : n[a] - 1;
                    }
                    const auto first = [&](Kind kind) {
                        const auto b = std::find_if(crossed.begin(), crossed.end(), [&](auto* f) { return f->kind == kind; });
                        return b == crossed.end() ? nullptr : *b;
                    };
                    const fluid::Boundary* face = first(Kind::wall) ? first(Kind::wall) : first(Kind::inflow);
                    const int o = fluid::opposite_of(i);
                    const bool bounce = face || fl.solid(from[0], from[1], from[2]);
                    const std::size_t source = bounce ? own : at(from[0], from[1], from[2]);
                    const int direction = bounce ? o : i;
                    const Vec3 uw = face ? face->velocity.value_or(Vec3{}) : Vec3{};
                    next.f[own][i] = sent[source][direction] +
                                     6 * fluid::weight_of(i) * (c[0] * uw.x + c[1] * uw.y + c[2] * uw.z);
                    if (i < fluid::SMOKE_Q) {
                        next.g[own][i] = face && face->kind == Kind::inflow ? 0.0 : smoke_sent[source][direction];
                    }
                }
            }
        }
    }
    for (const fluid::Source& src : s.sources) next.g[at(src.column, src.row, src.plane)][0] += src.smoke;
    return next;
}

// The populations a step leaves, worst against the plain step's, and where.
struct Worst {
    double difference = 0;
    std::string where;
    void take(double d, int x, int y, int z, int i) {
        if (!(d <= difference)) {
            difference = d;
            where = std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(z) + " #" + std::to_string(i);
        }
    }
};

Worst population_difference(const Fluid& f, const PlainStep& expected) {
    Worst worst;
    for (int z = 0; z < f.planes(); ++z) {
        for (int y = 0; y < f.rows(); ++y) {
            for (int x = 0; x < f.columns(); ++x) {
                const Fluid::Cell c = f.cell(x, y, z);
                if (c.solid) continue;
                const auto& e = expected.f[std::size_t((z * f.rows() + y) * f.columns() + x)];
                for (int i = 0; i < fluid::Q; ++i) worst.take(std::fabs(c.populations[i] - e[i]), x, y, z, i);
            }
        }
    }
    return worst;
}

// Steps against the plain step at every kind of face. The smoke is put in by hand, where it joins
// the cells' rest populations, so that the test knows all seven of its populations and follows them
// itself from there. Each step: every population of every fluid cell within 2e-7 of the plain
// step's, and each cell's smoke within 3e-7 of the sum of its plain populations (followed in double
// over the steps, where the fluid rounds to float).
void expect_plain_steps(const fluid::Setup& s, const std::vector<fluid::Source>& puffs, int steps, const char* world) {
    ASSERT_TRUE(s.puffs.empty()) << world << ": the puffs of a setup hide their smoke's populations";
    Fluid f(s);
    const int X = s.columns, Y = s.rows;
    std::vector<Smoke> smoke(std::size_t(X * Y * s.planes), Smoke{});
    for (const fluid::Source& p : puffs) {
        ASSERT_FALSE(f.solid(p.column, p.row, p.plane)) << world;
        f.add_smoke(p.column, p.row, p.plane, p.smoke);
        smoke[std::size_t((p.plane * Y + p.row) * X + p.column)][0] += p.smoke;
    }
    for (int step = 1; step <= steps; ++step) {
        const PlainStep expected = plain_step(f, smoke);
        f.advance();
        EXPECT_EQ(f.steps(), step) << world;
        const Worst worst = population_difference(f, expected);
        EXPECT_LT(worst.difference, 2e-7) << world << ", step " << step << ", at " << worst.where;
        Worst smoke_worst;
        for (int z = 0; z < s.planes; ++z) {
            for (int y = 0; y < Y; ++y) {
                for (int x = 0; x < X; ++x) {
                    if (f.solid(x, y, z)) continue;
                    const Smoke& g = expected.g[std::size_t((z * Y + y) * X + x)];
                    smoke_worst.take(std::fabs(f.smoke(x, y, z) - std::accumulate(g.begin(), g.end(), 0.0)), x, y, z, 0);
                }
            }
        }
        EXPECT_LT(smoke_worst.difference, 3e-7) << world << ", step " << step << ", smoke at " << smoke_worst.where;
        smoke = expected.g;
    }
    EXPECT_GT(f.total_smoke(), 0.1) << world << ": smoke is left to compare";
}

TEST(Fluid, StepsAreThePlainStepAtEveryKindOfFace) {
    fluid::Setup base;
    base.report_row = 0;
    base.tau = 0.7;
    base.diffusivity = 0.05;
    base.taylor_green = 0.05;
    base.flow = {0.03, 0.01, -0.02};
    base.force = {1e-3, -2e-3, 5e-4};
    base.buoyancy = 1e-2;

    // Every face periodic, the flow bouncing back only off the obstacle; 37 columns make runs of
    // whole rows whose ends are redone.
    fluid::Setup periodic = base;
    periodic.columns = 37;
    periodic.rows = 6;
    periodic.planes = 3;
    periodic.taylor_green = 0.1;
    periodic.boxes = {{20, 2, 21, 3}};
    expect_plain_steps(periodic, {{5, 1, 0, 2.0f}, {30, 4, 2, 1.0f}, {0, 0, 0, 0.5f}, {36, 5, 2, 0.5f}}, 4, "periodic");

    // No face periodic. Corners where a moving wall meets a wall at rest (the first in order wins),
    // a wall an inflow, an inflow an inflow, an inflow an outflow, a wall an outflow; obstacles at
    // both ends of a row and in the middle; smoke on the corners, the faces and beside the obstacles.
    fluid::Setup box = base;
    box.columns = 7;
    box.rows = 6;
    box.planes = 4;
    box.face(Face::left) = {Kind::inflow, Vec3{0.04, 0.01, -0.02}};
    box.face(Face::right).kind = Kind::outflow;
    box.face(Face::bottom).kind = Kind::wall;
    box.face(Face::top) = {Kind::wall, Vec3{0.05, 0, 0.02}};
    box.face(Face::front) = {Kind::wall, Vec3{0.02, -0.01, 0}};
    box.face(Face::back) = {Kind::inflow, Vec3{0.01, 0.02, -0.03}};
    box.boxes = {{0, 2, 0, 2}, {6, 4, 6, 4}, {3, 1, 3, 2}};
    box.sources = {{1, 1, 0, 0.25f}, {6, 0, 3, 0.125f}};
    expect_plain_steps(box, {{0, 0, 0, 1.0f}, {6, 5, 3, 1.0f}, {0, 3, 2, 0.5f}, {4, 2, 1, 0.5f}, {2, 5, 0, 0.5f},
                             {6, 0, 0, 0.5f}, {0, 5, 3, 0.5f}, {6, 3, 1, 0.5f}},
                       4, "box");

    // One column, periodic along the columns: every cell is both ends of its row. An inflow below,
    // an outflow above, walls front and back (one moving), a row that is all obstacle.
    fluid::Setup column = base;
    column.columns = 1;
    column.rows = 7;
    column.planes = 3;
    column.face(Face::bottom) = {Kind::inflow, Vec3{0.01, 0.04, 0}};
    column.face(Face::top).kind = Kind::outflow;
    column.face(Face::front) = {Kind::wall, Vec3{0.03, 0, 0}};
    column.face(Face::back).kind = Kind::wall;
    column.boxes = {{0, 3, 0, 3}};
    column.sources = {{0, 5, 1, 0.25f}};
    expect_plain_steps(column, {{0, 0, 0, 1.0f}, {0, 6, 2, 1.0f}, {0, 2, 1, 0.5f}, {0, 4, 0, 0.5f}}, 4, "column");

    // One column between a moving wall and an inflow, periodic along rows and planes; unforced.
    fluid::Setup slot = base;
    slot.columns = 1;
    slot.rows = 5;
    slot.planes = 3;
    slot.force = {};
    slot.buoyancy = 0;
    slot.face(Face::left) = {Kind::wall, Vec3{0, 0.03, -0.02}};
    slot.face(Face::right) = {Kind::inflow, Vec3{-0.03, 0.01, 0.02}};
    expect_plain_steps(slot, {{0, 0, 0, 1.0f}, {0, 4, 2, 1.0f}, {0, 2, 1, 0.5f}}, 4, "slot");

    // Two columns, each the end of its row, both with an obstacle: an outflow left, an inflow right,
    // periodic along the rows, a wall in front and an inflow behind.
    fluid::Setup pair = base;
    pair.columns = 2;
    pair.rows = 6;
    pair.planes = 5;
    pair.face(Face::left).kind = Kind::outflow;
    pair.face(Face::right) = {Kind::inflow, Vec3{-0.03, 0, 0.01}};
    pair.face(Face::front).kind = Kind::wall;
    pair.face(Face::back) = {Kind::inflow, Vec3{0, 0.02, -0.03}};
    pair.boxes = {{1, 2, 1, 3}, {0, 4, 0, 4}};
    pair.sources = {{0, 0, 2, 0.25f}};
    expect_plain_steps(pair, {{0, 0, 0, 1.0f}, {1, 5, 4, 1.0f}, {0, 3, 2, 0.5f}, {1, 1, 1, 0.5f}, {1, 4, 3, 0.5f}}, 4,
                       "pair");

    // One row in eight planes, periodic along both: runs of rows span planes. Walls left and right,
    // one moving, an obstacle in the middle column.
    fluid::Setup sheet = base;
    sheet.columns = 5;
    sheet.rows = 1;
    sheet.planes = 8;
    sheet.face(Face::left).kind = Kind::wall;
    sheet.face(Face::right) = {Kind::wall, Vec3{0, 0.02, 0.03}};
    sheet.boxes = {{2, 0, 2, 0}};
    expect_plain_steps(sheet, {{0, 0, 0, 1.0f}, {4, 0, 7, 1.0f}, {1, 0, 3, 0.5f}, {3, 0, 4, 0.5f}}, 4, "sheet");

    // Outflows right, below and above, meeting at the corners, an inflow left, periodic along the
    // planes.
    fluid::Setup outlet = base;
    outlet.columns = 9;
    outlet.rows = 6;
    outlet.planes = 3;
    outlet.face(Face::left) = {Kind::inflow, Vec3{0.04, 0, 0}};
    outlet.face(Face::right).kind = Kind::outflow;
    outlet.face(Face::bottom).kind = outlet.face(Face::top).kind = Kind::outflow;
    outlet.boxes = {{4, 2, 4, 3}};
    expect_plain_steps(outlet, {{8, 0, 0, 1.0f}, {8, 5, 2, 1.0f}, {0, 5, 1, 0.5f}, {3, 2, 1, 0.5f}}, 4, "outlet");

    // Wide enough for two threads and several chunks of rows (11 rows of 700 columns each, the last
    // short), periodic along the columns, walls below and above, outflows front and back, obstacles
    // touching both ends of their rows and a disc in the middle.
    fluid::Setup wide = base;
    wide.columns = 700;
    wide.rows = 8;
    wide.planes = 3;
    wide.face(Face::bottom).kind = Kind::wall;
    wide.face(Face::top) = {Kind::wall, Vec3{0.05, 0, 0}};
    wide.face(Face::front).kind = wide.face(Face::back).kind = Kind::outflow;
    wide.boxes = {{0, 2, 1, 3}, {698, 5, 699, 6}};
    wide.discs = {{350, 4, 2}};
    wide.sources = {{347, 4, 1, 0.25f}};
    expect_plain_steps(wide, {{699, 0, 0, 1.0f}, {0, 7, 2, 1.0f}, {2, 2, 1, 0.5f}, {697, 6, 2, 0.5f}, {353, 4, 1, 0.5f},
                              {0, 4, 0, 0.5f}, {699, 4, 2, 0.5f}},
                       4, "wide");
}

TEST(Fluid, BuoyantSmokeRises) {
    fluid::Setup s;
    s.columns = s.rows = 16;
    s.report_row = 0;
    s.buoyancy = 0.01;
    s.puffs = {{8, 8, 0, 1.0f}};
    Fluid f(s);
    run(f, 5);
    EXPECT_GT(f.velocity(8, 8, 0).y, 0);
    EXPECT_NEAR(f.velocity(8, 8, 0).x, 0, 1e-9);
}

TEST(Fluid, InflowAndOutflowCarryTheFlowAndTheSmokeThrough) {
    fluid::Setup s;
    s.columns = 32;
    s.rows = 6;
    s.report_row = 0;
    s.face(Face::left) = {Kind::inflow, Vec3{0.05, 0, 0}};
    s.face(Face::right).kind = Kind::outflow;
    s.flow = {0.05, 0, 0};
    s.puffs = {{8, 3, 0, 1.0f}};
    Fluid f(s);
    run(f, 1000);
    EXPECT_NEAR(f.velocity(16, 3, 0).x, 0.05, 0.0005);
    EXPECT_NEAR(f.density(16, 3, 0), 1, 0.01);
    EXPECT_LT(f.total_smoke(), 0.01) << "the puff left through the outflow";
    EXPECT_GT(f.total_smoke(), -1e-6);

    // A puff on the outflow face is counted once, and so is one on the inflow face.
    s.puffs = {{31, 3, 0, 1.0f}};
    EXPECT_NEAR(Fluid(s).total_smoke(), 1, 1e-6);
    s.puffs = {{0, 3, 0, 1.0f}};
    Fluid in(s);
    EXPECT_NEAR(in.total_smoke(), 1, 1e-6);
    EXPECT_NEAR(in.smoke(0, 3, 0), 1, 1e-6);
    // One step on. The puff's share along the flow, w_4 (1 + 4 u) = 0.15, waited in the rest
    // population, so the collision sends omega_s 0.15 that way; 0.1 goes back into the inflow, which
    // returns none; of the rest the eighths along the planes come back.
    in.advance();
    const double omega_smoke = 1 / (s.diffusivity / 0.25 + 0.5);
    EXPECT_NEAR(in.smoke(1, 3, 0), 0.15 * omega_smoke, 1e-6);
    EXPECT_NEAR(in.smoke(0, 3, 0), 1 - 0.15 * omega_smoke - 0.1 - 0.25, 1e-6);
    EXPECT_NEAR(in.smoke(31, 3, 0), 0, 1e-9) << "the outflow face takes nothing from the far side";
}

// An outflow face's cell takes, for what would come from beyond it, what it sent itself that way.
TEST(Fluid, OutflowCopiesTheEdgeCellsOwnPopulations) {
    fluid::Setup s;
    s.columns = 8;
    s.rows = 3;
    s.report_row = 0;
    s.face(Face::left).kind = s.face(Face::right).kind = Kind::outflow;
    s.puffs = {{7, 1, 0, 1.0f}};
    Fluid f(s);
    f.advance();
    // The puff's eighth toward column 6 waits in the rest population (what comes from beyond is the
    // cell's own), so the first collision sends omega_s / 8 that way, and the same comes back.
    const double omega_smoke = 1 / (s.diffusivity / 0.25 + 0.5);
    EXPECT_NEAR(f.smoke(6, 1, 0), omega_smoke / 8, 1e-6);
    EXPECT_NEAR(f.smoke(7, 1, 0), 0.625, 1e-6);
    EXPECT_NEAR(f.smoke(0, 1, 0), 0, 1e-9) << "an outflow is no periodic face";
    EXPECT_NEAR(f.smoke(7, 0, 0), 0.125, 1e-6);
}

// Where a diagonal leaves through an inflow and a wall at once, the wall at rest wins: the corner's
// population is its own reversed one, with no inflow momentum added.
TEST(Fluid, ACornerOfWallAndInflowBouncesAsTheWall) {
    fluid::Setup s;
    s.columns = 6;
    s.rows = 5;
    s.report_row = 0;
    s.face(Face::left) = {Kind::inflow, Vec3{0.05, 0, 0}};
    s.face(Face::right).kind = Kind::outflow;
    s.face(Face::bottom).kind = s.face(Face::top).kind = Kind::wall;
    Fluid f(s);
    f.advance();
    // f14 has c = (1, 1, 0): at (0, 0) it comes from beyond the left and the bottom faces.
    ASSERT_EQ(fluid::velocity_of(14).x, 1);
    ASSERT_EQ(fluid::velocity_of(14).y, 1);
    EXPECT_FLOAT_EQ(f.population(0, 0, 0, 14), 1.0f / 36);
    // Along the inflow alone, the reversed population gains 6 w_i (c_i . u) = 0.05 / 3 of 1/18.
    EXPECT_NEAR(f.population(0, 2, 0, 4), 1.0 / 18 * 1.3, 1e-7);
}

TEST(Fluid, APuffStartsMovingWithTheFlow) {
    fluid::Setup s;
    s.columns = s.rows = 16;
    s.report_row = 0;
    s.flow = {0.1, 0, 0};
    s.puffs = {{8, 8, 0, 1.0f}};
    Fluid f(s);
    f.advance();
    // Put in at w_i (1 + 4 c_i.u), which is already the smoke's equilibrium: the collision keeps it.
    EXPECT_NEAR(f.smoke(9, 8, 0), 0.175, 1e-6);
    EXPECT_NEAR(f.smoke(7, 8, 0), 0.075, 1e-6);
    EXPECT_NEAR(f.smoke(8, 9, 0), 0.125, 1e-6);
    EXPECT_NEAR(f.smoke(8, 7, 0), 0.125, 1e-6);
    EXPECT_NEAR(f.smoke(8, 8, 0), 0.5, 1e-6);
}

TEST(Fluid, PuffsAndObstaclesChangeInPlace) {
    fluid::Setup s;
    s.columns = s.rows = 6;
    s.report_row = 0;
    Fluid f(s);
    f.add_smoke(2, 3, 0, 0.25f);
    EXPECT_FLOAT_EQ(f.smoke(2, 3, 0), 0.25f);
    EXPECT_DOUBLE_EQ(f.total_smoke(), 0.25);

    f.set_solid(2, 3, 0, true);
    EXPECT_TRUE(f.solid(2, 3, 0));
    EXPECT_EQ(f.smoke(2, 3, 0), 0) << "a solid cell drops its smoke";
    EXPECT_EQ(f.total_smoke(), 0);
    EXPECT_FLOAT_EQ(f.population(2, 3, 0, 4), 1.0f / 18);
    f.add_smoke(2, 3, 0, 1.0f);
    EXPECT_EQ(f.total_smoke(), 0) << "a solid cell takes no smoke";
    run(f, 10);
    EXPECT_EQ(f.velocity(1, 3, 0).x, 0) << "the fluid stays at rest around the obstacle";
    EXPECT_NEAR(f.total_mass(), 35, 1e-5);

    f.set_solid(2, 3, 0, false);
    EXPECT_FALSE(f.solid(2, 3, 0));
    run(f, 1);
    EXPECT_FLOAT_EQ(f.density(2, 3, 0), 1);
    EXPECT_NEAR(f.total_mass(), 36, 1e-5);
    EXPECT_THROW(f.set_solid(6, 0, 0, true), std::out_of_range);

    // In a moving fluid, the cells around one made solid bounce off it at once and keep the mass.
    s.flow = {0.05, 0.02, 0};
    Fluid moving(s);
    moving.set_solid(2, 3, 0, true);
    EXPECT_NEAR(moving.total_mass(), 35, 1e-5);
    run(moving, 10);
    EXPECT_NEAR(moving.total_mass(), 35, 1e-5);
    EXPECT_THROW(f.population(0, 0, 0, 19), std::out_of_range);
}

// A reset in place, after steps, puffs and obstacles drawn by hand, is a fresh fluid bit for bit:
// every population of every cell, and the steps that follow.
TEST(Fluid, AResetIsAFreshFluidBitForBit) {
    fluid::Setup s;
    s.columns = 9;
    s.rows = 7;
    s.planes = 2;
    s.face(Face::bottom).kind = s.face(Face::top).kind = Kind::wall;
    s.face(Face::top).velocity = Vec3{0.05, 0, 0};
    s.boxes.push_back({3, 2, 4, 3});
    s.flow = {0.02, 0, 0};
    s.sources.push_back({1, 1, 0, 0.5f});
    s.puffs.push_back({6, 5, 1, 2.0f});
    s.report_row = 3;
    Fluid used(s);
    run(used, 7);
    used.add_smoke(2, 2, 0, 1.0f);
    used.set_solid(3, 2, 1, false);
    used.set_solid(7, 4, 0, true);
    run(used, 3);
    used.reset();
    Fluid fresh(s);
    for (int round = 0; round < 2; ++round) {
        for (int z = 0; z < s.planes; ++z) {
            for (int y = 0; y < s.rows; ++y) {
                for (int x = 0; x < s.columns; ++x) {
                    const Fluid::Cell a = used.cell(x, y, z), b = fresh.cell(x, y, z);
                    ASSERT_EQ(a.solid, b.solid) << x << "," << y << "," << z;
                    ASSERT_EQ(a.smoke, b.smoke) << x << "," << y << "," << z;
                    for (int i = 0; i < fluid::Q; ++i) ASSERT_EQ(a.populations[i], b.populations[i]) << i;
                }
            }
        }
        run(used, 5);
        run(fresh, 5);
    }
    EXPECT_EQ(used.steps(), fresh.steps());
}

// Every population, the smoke and the totals of two fluids, bit for bit.
void expect_same_bits(const Fluid& a, const Fluid& b, const std::string& what) {
    for (int z = 0; z < a.planes(); ++z) {
        for (int y = 0; y < a.rows(); ++y) {
            for (int x = 0; x < a.columns(); ++x) {
                const Fluid::Cell p = a.cell(x, y, z), q = b.cell(x, y, z);
                ASSERT_EQ(p.solid, q.solid) << what << " at " << x << "," << y << "," << z;
                ASSERT_EQ(std::memcmp(&p.smoke, &q.smoke, sizeof p.smoke), 0) << what << " at " << x << "," << y << "," << z;
                ASSERT_EQ(std::memcmp(p.populations.data(), q.populations.data(), sizeof p.populations), 0)
                    << what << " at " << x << "," << y << "," << z;
            }
        }
    }
    const Fluid::Totals p = a.totals(), q = b.totals();
    EXPECT_EQ(std::memcmp(&p.mass, &q.mass, sizeof p.mass), 0) << what;
    EXPECT_EQ(std::memcmp(&p.smoke, &q.smoke, sizeof p.smoke), 0) << what;
}

TEST(FluidThreads, ADefaultFluidTakesEveryHardwareThreadAndRefusesNone) {
    fluid::Setup s;
    Fluid f(s);
    EXPECT_EQ(f.threads(), int(std::max(1u, std::thread::hardware_concurrency())));
    f.set_threads(3);
    EXPECT_EQ(f.threads(), 3);
    EXPECT_THROW(f.set_threads(0), std::invalid_argument);
    EXPECT_THROW(f.set_threads(-2), std::invalid_argument);
    EXPECT_EQ(f.threads(), 3);
}

// The step shares its rows among threads; its figures must not depend on how many. Worlds large
// enough for three threads (each takes 8,192 cells at least), with short blocks (70 columns is no
// multiple of a block), walls, a moving lid, inflow and outflow, obstacles drawn before and between
// steps, puffs, a source, and both collisions, forced (buoyancy and a force) and not.
TEST(FluidThreads, OneTwoAndThreeThreadsStepToTheSameBits) {
    fluid::Setup forced;
    forced.columns = 70;
    forced.rows = 40;
    forced.planes = 9;
    forced.tau = 0.56;
    forced.face(Face::left) = {Kind::inflow, Vec3{0.04, 0.01, 0}};
    forced.face(Face::right).kind = Kind::outflow;
    forced.face(Face::bottom).kind = Kind::wall;
    forced.face(Face::top) = {Kind::wall, Vec3{0.05, 0, 0.02}};
    forced.discs.push_back({20.5, 18, 6});
    forced.boxes.push_back({45, 5, 49, 12});
    forced.taylor_green = 0.04;
    forced.force = {2e-5, 0, -1e-5};
    forced.buoyancy = 3e-3;
    forced.puffs = {{8, 30, 3, 2.0f}, {60, 20, 8, 1.5f}};
    forced.sources.push_back({30, 5, 4, 0.25f});

    fluid::Setup periodic;  // the unforced collision, every face periodic
    periodic.columns = 64;
    periodic.rows = 33;
    periodic.planes = 12;
    periodic.taylor_green = 0.06;
    periodic.flow = {0.01, -0.02, 0.03};
    periodic.boxes.push_back({10, 10, 12, 30});
    periodic.puffs = {{0, 0, 0, 1.0f}, {63, 32, 11, 1.0f}};

    for (const fluid::Setup& s : {forced, periodic}) {
        std::vector<std::unique_ptr<Fluid>> fluids;
        for (int threads : {1, 2, 3}) {
            fluids.push_back(std::make_unique<Fluid>(s));
            Fluid& f = *fluids.back();
            f.set_threads(threads);
            run(f, 4);
            f.set_solid(35, 20, 5, true);
            f.set_solid(21, 18, 0, false);
            f.add_smoke(3, 3, 3, 0.75f);
            run(f, 4);
        }
        // The state moved: the comparison is of a flow, not of a world at rest.
        ASSERT_GT(std::fabs(fluids[0]->velocity(30, 20, 7).x), 1e-4);
        expect_same_bits(*fluids[0], *fluids[1], "2 threads");
        expect_same_bits(*fluids[0], *fluids[2], "3 threads");
    }
}

TEST(Fluid, ReportShowsSmokeAndTheActualPopulationFour) {
    fluid::Setup s;
    s.columns = 3;
    s.rows = 4;
    s.report_row = 2;
    s.puffs = {{1, 2, 0, 0.5f}};
    Fluid f(s);
    EXPECT_EQ(report_text(f),
              "Lattice 0: 0.000000 / 0.055556\nLattice 1: 0.500000 / 0.055556\nLattice 2: 0.000000 / 0.055556\n\n");
    // At rest the puff's populations are w_i C: a quarter stays, an eighth goes each way along the
    // columns and rows, and in a world of one plane the two along the planes come back to the cell.
    f.advance();
    EXPECT_EQ(report_text(f),
              "Lattice 0: 0.062500 / 0.055556\nLattice 1: 0.250000 / 0.055556\nLattice 2: 0.062500 / 0.055556\n\n");

    // Along a flow 0.1 toward increasing columns, f4 = (1 + 0.3 + 0.045 - 0.015) / 18; the smoke is
    // plane 0's, not the puff's in plane 1.
    s.flow = {0.1, 0, 0};
    s.planes = 2;
    s.puffs = {{1, 2, 1, 0.5f}, {2, 2, 0, 0.25f}};
    EXPECT_EQ(report_text(Fluid(s)),
              "Lattice 0: 0.000000 / 0.073889\nLattice 1: 0.000000 / 0.073889\nLattice 2: 0.250000 / 0.073889\n\n");
}

TEST(FluidRules, RefuseWhatCannotRun) {
    using Change = std::function<void(fluid::Setup&)>;
    const struct {
        Change change;
        const char* message;
    } cases[] = {
        {[](fluid::Setup& s) { s.columns = 0; }, "columns must be a whole number from 1 to 2147483647"},
        {[](fluid::Setup& s) { s.tau = 0.5; }, "tau must be a finite number above 0.5"},
        {[](fluid::Setup& s) { s.tau = NAN; }, "tau must be a finite number above 0.5"},
        {[](fluid::Setup& s) { s.diffusivity = 0; }, "diffusivity must be a finite number above 0"},
        {[](fluid::Setup& s) { s.diffusivity = INFINITY; }, "diffusivity must be a finite number above 0"},
        {[](fluid::Setup& s) { s.face(Face::left).kind = Kind::wall; }, "left face must be periodic when the right face is"},
        {[](fluid::Setup& s) { s.face(Face::top).kind = Kind::outflow; }, "bottom face must not be periodic when the top face is not"},
        {[](fluid::Setup& s) { s.face(Face::front).kind = s.face(Face::back).kind = Kind::wall; },
         "front face must be periodic in a world of one plane"},
        {[](fluid::Setup& s) { s.face(Face::left).kind = Kind::inflow; s.face(Face::right).kind = Kind::outflow; },
         "left face must have a velocity as an inflow"},
        {[](fluid::Setup& s) { s.face(Face::left) = {Kind::outflow, Vec3{0.1, 0, 0}}; s.face(Face::right).kind = Kind::outflow; },
         "left face takes a velocity only as a wall or an inflow"},
        {[](fluid::Setup& s) { s.face(Face::bottom).kind = Kind::wall; s.face(Face::top) = {Kind::wall, Vec3{0.3, 0.4, 0}}; },
         "top face velocity must be below 0.5 in magnitude"},
        {[](fluid::Setup& s) { s.face(Face::left) = {Kind::inflow, Vec3{0.6, 0, 0}}; s.face(Face::right).kind = Kind::outflow; },
         "left face velocity must be below 0.5 in magnitude"},
        {[](fluid::Setup& s) { s.flow = {0.3, 0.4, 0}; }, "flow must be below 0.5 in magnitude"},
        {[](fluid::Setup& s) { s.flow = {NAN, 0, 0}; }, "flow must be finite"},
        {[](fluid::Setup& s) { s.taylor_green = -0.5; }, "Taylor-Green amplitude must be below 0.5 in magnitude"},
        {[](fluid::Setup& s) { s.force = {0, INFINITY, 0}; }, "force must be finite"},
        {[](fluid::Setup& s) { s.buoyancy = NAN; }, "buoyancy must be finite"},
        {[](fluid::Setup& s) { s.discs = {{50, 10, 3}}; }, "disc centre must lie in the world, columns 0 to 49 and rows 0 to 49"},
        {[](fluid::Setup& s) { s.discs = {{10, 10, 0}}; }, "disc radius must be above 0"},
        {[](fluid::Setup& s) { s.rows = 40; s.discs = {{10, 39.5, 3}}; },
         "disc centre must lie in the world, columns 0 to 49 and rows 0 to 39"},
        {[](fluid::Setup& s) { s.rows = 40; s.puffs = {{0, 45, 0, 0.1f}}; }, "puff row must be 0 to 39"},
        {[](fluid::Setup& s) { s.columns = 40; s.sources = {{45, 0, 0, 0.1f}}; }, "source column must be 0 to 39"},
        {[](fluid::Setup& s) { s.boxes = {{12, 10, 11, 12}}; }, "box columns must be in order within 0 to 49"},
        {[](fluid::Setup& s) { s.boxes = {{10, 10, 50, 12}}; }, "box columns must be in order within 0 to 49"},
        {[](fluid::Setup& s) { s.boxes = {{10, 12, 12, 11}}; }, "box rows must be in order within 0 to 49"},
        {[](fluid::Setup& s) { s.discs = {{10, 10, 2}}; s.sources = {{11, 11, 0, 0.1f}}; }, "source must not lie on an obstacle"},
        {[](fluid::Setup& s) { s.boxes = {{1, 2, 3, 4}}; s.puffs = {{3, 4, 0, 1}}; }, "puff must not lie on an obstacle"},
        {[](fluid::Setup& s) { s.sources = {{50, 0, 0, 0.1f}}; }, "source column must be 0 to 49"},
        {[](fluid::Setup& s) { s.puffs = {{0, 0, 1, 0.1f}}; }, "puff plane must be 0"},
        {[](fluid::Setup& s) { s.sources = {{0, 0, 0, NAN}}; }, "source smoke must be a finite number"},
        {[](fluid::Setup& s) { s.report_row = 50; }, "report row must be a row of the world, 0 to 49"},
    };
    EXPECT_EQ(fluid::setup_problem(fluid::Setup{}), std::nullopt);
    for (const auto& c : cases) {
        fluid::Setup s;
        c.change(s);
        EXPECT_EQ(fluid::setup_problem(s).value_or("(accepted)"), c.message);
        try {
            Fluid f(s);
            ADD_FAILURE() << "built despite: " << c.message;
        } catch (const std::invalid_argument& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }
    // Near the limits, still accepted.
    fluid::Setup fine;
    fine.tau = 0.5000001;
    fine.flow = {0.49, 0, 0};
    fine.face(Face::left) = {Kind::inflow, Vec3{0.1, 0, 0}};
    fine.face(Face::right).kind = Kind::outflow;
    fine.discs = {{49, 0, 0.5}};
    EXPECT_EQ(fluid::setup_problem(fine), std::nullopt);
}

TEST(FluidRules, NamesAndSizes) {
    EXPECT_STREQ(fluid::FACE_NAMES[int(Face::top)], "top");
    EXPECT_STREQ(fluid::FACE_NAMES[int(Face::back)], "back");
    EXPECT_STREQ(fluid::KIND_NAMES[int(Kind::outflow)], "outflow");
    EXPECT_EQ(fluid::opposite_face(Face::front), Face::back);
    EXPECT_EQ(fluid::opposite_face(Face::top), Face::bottom);
    EXPECT_EQ(fluid::BYTES_PER_CELL, 209u);
    fluid::Setup s;
    EXPECT_EQ(fluid::fluid_bytes(s), 2500u * 209);
    s.columns = s.rows = s.planes = 2147483647;
    EXPECT_EQ(fluid::fluid_bytes(s), ~std::uint64_t(0));
}

}  // namespace
