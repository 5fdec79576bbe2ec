// The model's step derived independently of the lattice: cells addressed by position in flat
// arrays, each neighbour found from the offset table as (x + dx, y - dy, plane + dz), no pointers
// followed, a collision pass over every cell and then a streaming pass. It shares no wiring and no
// sweep with the lattice, so the tests take it as their oracle for the step and the programs' figures.
#pragma once

#include <array>
#include <vector>

#include "lattice/cell.h"
#include "lattice/world.h"
#include "testing.h"

struct PositionStepper {
    World world;
    std::vector<float> smoke, density, velocity;
    // Per cell and link: the population, the equilibrium of the last collision, and the value
    // waiting to be streamed.
    std::vector<std::array<float, DIRECTION_COUNT>> population, equilibrium, post;

    explicit PositionStepper(const World& w) : world(w) {
        const std::size_t n = std::size_t(w.columns) * w.rows * w.planes;
        smoke.assign(n, 0.0f);
        density.assign(n, 0.0f);
        velocity.assign(n, 0.0f);
        population.assign(n, {});
        equilibrium.assign(n, {});
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

    // A cell's values in the order smoke, density, velocity, populations 0 to 18.
    std::array<float, 3 + DIRECTION_COUNT> values(long cell) const {
        std::array<float, 3 + DIRECTION_COUNT> v = {smoke[cell], density[cell], velocity[cell]};
        for (int i = 0; i < DIRECTION_COUNT; ++i) v[3 + i] = population[cell][i];
        return v;
    }

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
                equilibrium[c][j] = eq;
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

