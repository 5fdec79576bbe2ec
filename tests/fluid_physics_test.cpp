// The textbook fluid against the field's benchmarks: each a measured figure against the analytic or
// published one, with its tolerance. Too slow for the sanitizer build: labelled `physics`.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "fluid/fluid.h"

namespace {

using fluid::Face;
using fluid::Fluid;
using fluid::Kind;


constexpr double PI = 3.14159265358979323846;

double kinetic_energy(const Fluid& f) {
    double e = 0;
    for (int y = 0; y < f.rows(); ++y) {
        for (int x = 0; x < f.columns(); ++x) {
            const fluid::Vec3 u = f.velocity(x, y, 0);
            e += u.x * u.x + u.y * u.y;
        }
    }
    return e;
}

void run(Fluid& f, int steps) {
    for (int i = 0; i < steps; ++i) f.advance();
}

// A 2-D vortex decays as exp(-nu k^2 t) in velocity, so its energy as exp(-2 nu k^2 t).
TEST(FluidPhysics, TaylorGreenDecayGivesTheViscosity) {
    fluid::Setup s;
    s.columns = s.rows = 64;
    s.tau = 0.8;
    s.taylor_green = 0.02;
    Fluid f(s);
    run(f, 100);  // the start holds no non-equilibrium part; let it form
    const double e1 = kinetic_energy(f);
    const int span = 1000;
    run(f, span);
    const double e2 = kinetic_energy(f);
    const double k2 = 2 * std::pow(2 * PI / 64, 2);
    const double measured = std::log(e1 / e2) / (2 * k2 * span);
    const double expected = (s.tau - 0.5) / 3;
    std::printf("Taylor-Green viscosity %.6f, expected %.6f (%.3f %%)\n", measured, expected,
                100 * (measured / expected - 1));
    EXPECT_NEAR(measured / expected, 1, 0.01);
}

// Poiseuille flow between walls half a cell beyond rows 0 and rows-1, driven by a body force.
TEST(FluidPhysics, ChannelProfileIsTheParabola) {
    fluid::Setup s;
    s.columns = 4;
    s.rows = 32;
    s.tau = 0.8;
    s.face(Face::bottom).kind = Kind::wall;
    s.face(Face::top).kind = Kind::wall;
    s.force.x = 1e-5;
    s.report_row = 0;
    Fluid f(s);
    run(f, 20000);
    const double nu = (s.tau - 0.5) / 3, lower = -0.5, upper = s.rows - 0.5;
    const double peak = s.force.x / (2 * nu) * std::pow((upper - lower) / 2, 2);
    double worst = 0;
    for (int y = 0; y < s.rows; ++y) {
        const double expected = s.force.x / (2 * nu) * (y - lower) * (upper - y);
        const fluid::Vec3 u = f.velocity(1, y, 0);
        worst = std::max(worst, std::fabs(u.x - expected) / peak);
        EXPECT_NEAR(u.y, 0, 1e-4 * peak) << "row " << y;
    }
    std::printf("channel profile within %.3f %% of the peak\n", 100 * worst);
    EXPECT_LT(worst, 0.01);
}

// Ghia, U., Ghia, K. N. and Shin, C. T., "High-Re solutions for incompressible flow using the
// Navier-Stokes equations and a multigrid method", J. Comput. Phys. 48, 387-411 (1982), Re = 100:
// Table I (u along the vertical centre line) and Table II (v along the horizontal centre line),
// in units of the lid speed; the walls' own values left out.
struct Point {
    double at, value;
};
const std::vector<Point> GHIA_U = {
    {0.9766, 0.84123}, {0.9688, 0.78871}, {0.9609, 0.73722}, {0.9531, 0.68717}, {0.8516, 0.23151},
    {0.7344, 0.00332}, {0.6172, -0.13641}, {0.5000, -0.20581}, {0.4531, -0.21090}, {0.2813, -0.15662},
    {0.1719, -0.10150}, {0.1016, -0.06434}, {0.0703, -0.04775}, {0.0625, -0.04192}, {0.0547, -0.03717}};
const std::vector<Point> GHIA_V = {
    {0.9688, -0.05906}, {0.9609, -0.07391}, {0.9531, -0.08864}, {0.9453, -0.10313}, {0.9063, -0.16914},
    {0.8594, -0.22445}, {0.8047, -0.24533}, {0.5000, 0.05454}, {0.2344, 0.17527}, {0.2266, 0.17507},
    {0.1563, 0.16077}, {0.0938, 0.12317}, {0.0781, 0.10890}, {0.0703, 0.10091}, {0.0625, 0.09233}};

// A profile sampled at the cell centres, (j + 0.5) / n, read linearly at a point of the unit side.
double interpolate(const std::vector<double>& profile, double at) {
    const int n = int(profile.size());
    const double p = at * n - 0.5;
    const int j = std::min(std::max(int(std::floor(p)), 0), n - 2);
    const double t = p - j;
    return profile[j] * (1 - t) + profile[j + 1] * t;
}

TEST(FluidPhysics, LidDrivenCavityMatchesGhiaAtRe100) {
    const int n = 96;
    const double lid = 0.1;
    fluid::Setup s;
    s.columns = s.rows = n;
    s.tau = 0.5 + 3 * lid * n / 100;  // Re = lid * n / nu = 100
    for (Face face : {Face::left, Face::right, Face::bottom, Face::top}) s.face(face).kind = Kind::wall;
    s.face(Face::top).velocity = fluid::Vec3{lid, 0, 0};
    s.report_row = 0;
    Fluid f(s);

    // The centre lines fall between cells n/2 - 1 and n/2: their mean.
    auto centre_lines = [&](std::vector<double>& u, std::vector<double>& v) {
        u.assign(n, 0);
        v.assign(n, 0);
        for (int j = 0; j < n; ++j) {
            u[j] = (f.velocity(n / 2 - 1, j, 0).x + f.velocity(n / 2, j, 0).x) / 2 / lid;
            v[j] = (f.velocity(j, n / 2 - 1, 0).y + f.velocity(j, n / 2, 0).y) / 2 / lid;
        }
    };
    std::vector<double> u, v, u_before, v_before;
    centre_lines(u, v);
    // Steady when a thousand steps change no centre-line velocity by 1e-5 of the lid speed.
    double change = 1;
    for (int rounds = 0; rounds < 100 && change > 1e-5; ++rounds) {
        u_before = u;
        v_before = v;
        run(f, 1000);
        centre_lines(u, v);
        change = 0;
        for (int j = 0; j < n; ++j) change = std::max({change, std::fabs(u[j] - u_before[j]), std::fabs(v[j] - v_before[j])});
    }
    ASSERT_LE(change, 1e-5) << "not steady after " << f.steps() << " steps";
    double worst = 0;
    for (const Point& p : GHIA_U) {
        const double got = interpolate(u, p.at);
        worst = std::max(worst, std::fabs(got - p.value));
        EXPECT_NEAR(got, p.value, 0.02) << "u at y = " << p.at;
    }
    for (const Point& p : GHIA_V) {
        const double got = interpolate(v, p.at);
        worst = std::max(worst, std::fabs(got - p.value));
        EXPECT_NEAR(got, p.value, 0.02) << "v at x = " << p.at;
    }
    std::printf("cavity steady after %lld steps; centre lines within %.3f %% of the lid speed\n", f.steps(), 100 * worst);
}

struct Spread {
    double total, mean_x, mean_y, var_x, var_y;
};

Spread spread(const Fluid& f) {
    Spread s{0, 0, 0, 0, 0};
    for (int y = 0; y < f.rows(); ++y) {
        for (int x = 0; x < f.columns(); ++x) {
            const double c = f.smoke(x, y, 0);
            s.total += c;
            s.mean_x += c * x;
            s.mean_y += c * y;
        }
    }
    s.mean_x /= s.total;
    s.mean_y /= s.total;
    for (int y = 0; y < f.rows(); ++y) {
        for (int x = 0; x < f.columns(); ++x) {
            const double c = f.smoke(x, y, 0);
            s.var_x += c * (x - s.mean_x) * (x - s.mean_x);
            s.var_y += c * (y - s.mean_y) * (y - s.mean_y);
        }
    }
    s.var_x /= s.total;
    s.var_y /= s.total;
    return s;
}

TEST(FluidPhysics, PuffSpreadsAtTheDiffusivity) {
    fluid::Setup s;
    s.columns = s.rows = 101;
    s.diffusivity = 0.05;
    s.puffs = {{50, 50, 0, 1.0f}};
    Fluid f(s);
    run(f, 100);
    const Spread a = spread(f);
    const int span = 600;
    run(f, span);
    const Spread b = spread(f);
    const double dx = (b.var_x - a.var_x) / (2 * span), dy = (b.var_y - a.var_y) / (2 * span);
    std::printf("diffusivity %.6f along columns, %.6f along rows, expected %.6f\n", dx, dy, s.diffusivity);
    EXPECT_NEAR(dx / s.diffusivity, 1, 0.02);
    EXPECT_NEAR(dy / s.diffusivity, 1, 0.02);
}

TEST(FluidPhysics, PuffMovesWithTheFlow) {
    fluid::Setup s;
    s.columns = 128;
    s.rows = 64;
    s.flow = {0.1, 0.02, 0};
    s.puffs = {{20, 20, 0, 1.0f}};
    Fluid f(s);
    const Spread a = spread(f);
    const int span = 500;
    run(f, span);
    const Spread b = spread(f);
    const double vx = (b.mean_x - a.mean_x) / span, vy = (b.mean_y - a.mean_y) / span;
    std::printf("puff moved at (%.6f, %.6f), flow (%.2f, %.2f)\n", vx, vy, s.flow.x, s.flow.y);
    // Centre of mass against the flow's speed, to 0.5 % of the distance travelled.
    EXPECT_NEAR(vx, s.flow.x, 0.005 * s.flow.x);
    EXPECT_NEAR(vy, s.flow.y, 0.005 * s.flow.x);
}

// An inflow brings no smoke: it holds the smoke at 0 in the column beyond the face, x = -1. A puff
// at x0 beside it, spreading along the columns with no flow, keeps the share erf((x0 + 1) / sqrt(4 D t))
// by the method of images (the outflow far off takes nothing yet).
TEST(FluidPhysics, AnInflowFaceAbsorbsTheSmoke) {
    fluid::Setup s;
    s.columns = 64;
    s.rows = 3;
    s.diffusivity = 0.1;
    s.face(Face::left) = {Kind::inflow, fluid::Vec3{0, 0, 0}};
    s.face(Face::right).kind = Kind::outflow;
    s.puffs = {{3, 1, 0, 1.0f}};
    s.report_row = 0;
    Fluid f(s);
    const int steps = 400;
    run(f, steps);
    const double expected = std::erf(4 / std::sqrt(4 * s.diffusivity * steps));
    std::printf("smoke left beside the inflow %.5f, expected %.5f\n", f.total_smoke(), expected);
    EXPECT_NEAR(f.total_smoke(), expected, 0.015);
}

TEST(FluidPhysics, ClosedBoxHoldsAllItsSmoke) {
    fluid::Setup s;
    s.columns = s.rows = s.planes = 12;
    for (auto& face : s.faces) face.kind = Kind::wall;
    s.face(Face::top).velocity = fluid::Vec3{0.05, 0, 0.02};
    s.buoyancy = 0.002;
    s.sources = {{3, 2, 4, 0.01f}};
    s.puffs = {{6, 6, 6, 1.0f}, {0, 11, 11, 0.5f}};
    s.boxes = {{8, 0, 9, 3}};
    s.report_row = 0;
    Fluid f(s);
    const int steps = 400;
    run(f, steps);
    const double expected = 1.0 + 0.5 + steps * double(0.01f);
    std::printf("closed box smoke %.9f, put in %.9f\n", f.total_smoke(), expected);
    EXPECT_NEAR(f.total_smoke() / expected, 1, 1e-5);
}

TEST(FluidPhysics, PeriodicBoxKeepsItsMass) {
    fluid::Setup s;
    s.columns = s.rows = s.planes = 16;
    s.tau = 0.6;
    s.flow = {0.05, 0.02, 0.01};
    s.taylor_green = 0.05;
    s.force = {1e-6, 0, 0};
    s.report_row = 0;
    Fluid f(s);
    const double before = f.total_mass();
    run(f, 10000);
    const double after = f.total_mass();
    std::printf("periodic box mass %.9f, then %.9f\n", before, after);
    EXPECT_NEAR(after / before, 1, 1e-5);
}

}  // namespace
