#include "reference_step.h"

namespace {

void reference_collide(Lattice& lattice) {
    const float omega = static_cast<float>(1.0 / double(lattice.tau));
    for (int p = 0; p < PLANE_COUNT; ++p) {
        for (int y = GRID_SIZE - 1; y >= 0; --y) {
            for (int x = GRID_SIZE - 1; x >= 0; --x) {
                Cell& a = *lattice.planes[p]->cell(x, y);
                a.density = a.sum_density();
                a.velocity = a.sum_velocity(a.density);
                const float rho = a.density, u = a.velocity;
                for (int j = 0; j < DIRECTION_COUNT; ++j) {
                    Link& link = a.links[j];
                    const float f = link.population;
                    const float s = static_cast<float>(double(direction_length(j)) * u);
                    const float t1 = eq_weight(j);
                    const float t2 = static_cast<float>(double(eq_linear(j)) * s);
                    const float t3 = static_cast<float>(double(static_cast<float>(double(s) * s)) * eq_quadratic(j));
                    const float t4 = static_cast<float>(double(eq_square(j)) * u * u);
                    link.equilibrium = static_cast<float>((((double(t1) + t2) + t3) + t4) * rho);
                    const float delta = static_cast<float>(double(f) - link.equilibrium);
                    link.post_collision = static_cast<float>(double(f) - double(omega) * delta);
                }
            }
        }
    }
}

void reference_stream(Lattice& lattice) {
    for (int p = 0; p < PLANE_COUNT; ++p) {
        for (int y = 0; y < GRID_SIZE; ++y) {
            for (int x = 0; x < GRID_SIZE; ++x) {
                Cell& a = *lattice.planes[p]->cell(x, y);
                for (int l = 0; l < DIRECTION_COUNT; ++l) {
                    const int d = opposite_direction(l);
                    Link& link = a.links[d];
                    const float v = link.post_collision;
                    if (Cell* n = link.neighbour) {
                        n->set_smoke(static_cast<float>(double(n->smoke) + v));
                        link.population = v;
                        Link& back = n->links[opposite_direction(d)];
                        if (v > back.population) back.population = v;
                    } else {
                        a.set_smoke(static_cast<float>(double(a.smoke) + v));
                        link.population = v;
                    }
                    link.post_collision = 0.0f;
                }
            }
        }
    }
}

}  // namespace

void reference_step(Lattice& lattice) {
    reference_collide(lattice);
    reference_stream(lattice);
}
