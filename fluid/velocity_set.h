// The D3Q19 velocity set of the textbook fluid, its weights and its equilibrium.
//
// Directions keep the numbering of the demonstration model (f0 rest, f1..f6 axis, f7..f18 diagonal),
// and the same convention: a direction (dx, dy, dz) leads from (column, row, plane) to
// (column + dx, row - dy, plane + dz). Everything physical here is in grid terms, so a direction's
// lattice velocity is c = (dx, -dy, dz): components along increasing column, row and plane.
// Unlike the demonstration, the opposite of a direction is its true reverse, -c.
#pragma once

#include <array>

namespace fluid {

constexpr int Q = 19;        // populations per cell
constexpr int SMOKE_Q = 7;   // smoke populations: the rest direction and the six axis ones, f0..f6

struct Offset {
    int dx, dy, dz;
};

// The demonstration's offsets, f0..f18 (dy counted toward the previous row).
constexpr std::array<Offset, Q> OFFSETS = {{
    {0, 0, 0},
    {0, 0, -1}, {-1, 0, 0}, {0, 1, 0}, {1, 0, 0}, {0, -1, 0}, {0, 0, 1},
    {-1, 0, -1}, {0, 1, -1}, {1, 0, -1}, {0, -1, -1},
    {-1, -1, 0}, {-1, 1, 0}, {1, 1, 0}, {1, -1, 0},
    {-1, 0, 1}, {0, 1, 1}, {1, 0, 1}, {0, -1, 1},
}};

struct Velocity {
    int x, y, z;  // along increasing column, row, plane
};

constexpr Velocity velocity_of(int i) { return {OFFSETS[i].dx, -OFFSETS[i].dy, OFFSETS[i].dz}; }

constexpr int opposite_of(int i) {
    for (int j = 0; j < Q; ++j) {
        if (OFFSETS[j].dx == -OFFSETS[i].dx && OFFSETS[j].dy == -OFFSETS[i].dy && OFFSETS[j].dz == -OFFSETS[i].dz) return j;
    }
    return -1;
}

constexpr double weight_of(int i) {
    const int moving = (OFFSETS[i].dx != 0) + (OFFSETS[i].dy != 0) + (OFFSETS[i].dz != 0);
    return moving == 0 ? 1.0 / 3 : moving == 1 ? 1.0 / 18 : 1.0 / 36;
}

// D3Q7 for the smoke: weight 1/4 at rest and 1/8 along each axis, so c_s^2 = 1/4.
constexpr double smoke_weight_of(int i) { return i == 0 ? 1.0 / 4 : 1.0 / 8; }
constexpr double SMOKE_CS2 = 0.25;

namespace velocity_set_checks {
constexpr bool consistent() {
    double sum = 0, smoke_sum = 0;
    for (int i = 0; i < Q; ++i) {
        const int o = opposite_of(i);
        if (o < 0 || opposite_of(o) != i) return false;
        sum += weight_of(i);
        if (i < SMOKE_Q) {
            smoke_sum += smoke_weight_of(i);
            if (o >= SMOKE_Q) return false;  // the smoke's set is closed under reversal
            if (i > 0 && weight_of(i) != 1.0 / 18) return false;
        }
    }
    return sum > 1 - 1e-12 && sum < 1 + 1e-12 && smoke_sum > 1 - 1e-12 && smoke_sum < 1 + 1e-12;
}
static_assert(consistent());
}  // namespace velocity_set_checks

// The second-order equilibrium w_i rho (1 + 3 c.u + 4.5 (c.u)^2 - 1.5 u.u), actual populations.
inline std::array<double, Q> equilibrium(double rho, double ux, double uy, double uz) {
    std::array<double, Q> f{};
    const double usq = ux * ux + uy * uy + uz * uz;
    for (int i = 0; i < Q; ++i) {
        const Velocity c = velocity_of(i);
        const double cu = c.x * ux + c.y * uy + c.z * uz;
        f[i] = weight_of(i) * rho * (1 + 3 * cu + 4.5 * cu * cu - 1.5 * usq);
    }
    return f;
}

}  // namespace fluid
