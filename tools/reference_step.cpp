#include "reference_step.h"

namespace {

// Every link's equilibrium computed on its own, from the velocity set's tables.
void reference_collide(Lattice& lattice) {
    const float omega = static_cast<float>(1.0 / double(lattice.tau));
    for (auto& plane : lattice.planes) {
        for (auto& cell : plane->cells) {
            Cell& a = *cell;
            a.density = a.sum_density();
            a.velocity = a.sum_velocity(a.density);
            const float rho = a.density, u = a.velocity;
            for (int j = 0; j < DIRECTION_COUNT; ++j) {
                const int c = DIRECTION_CLASSES[j];
                Link& link = a.links[j];
                const float f = link.population;
                const float s = static_cast<float>(double(CLASS_LENGTH[c]) * u);
                const float t1 = CLASS_WEIGHT[c];
                const float t2 = static_cast<float>(double(CLASS_LINEAR[c]) * s);
                const float t3 = static_cast<float>(double(static_cast<float>(double(s) * s)) * CLASS_QUADRATIC[c]);
                const float t4 = static_cast<float>(double(CLASS_SQUARE[c]) * u * u);
                link.equilibrium = static_cast<float>((((double(t1) + t2) + t3) + t4) * rho);
                const float delta = static_cast<float>(double(f) - link.equilibrium);
                link.post_collision = static_cast<float>(double(f) - double(omega) * delta);
            }
        }
    }
}

void reference_stream(Lattice& lattice) {
    for (auto& plane : lattice.planes) {
        for (auto& cell : plane->cells) {  // row 0 first, column 0 first
            Cell& a = *cell;
            for (int l = 0; l < DIRECTION_COUNT; ++l) {
                const int d = OPPOSITE_DIRECTIONS[l];
                Link& link = a.links[d];
                const float v = link.post_collision;
                if (Cell* n = link.neighbour) {
                    n->smoke = static_cast<float>(double(n->smoke) + v);
                    link.population = v;
                    Link& back = n->links[OPPOSITE_DIRECTIONS[d]];
                    if (v > back.population) back.population = v;
                } else {
                    a.smoke = static_cast<float>(double(a.smoke) + v);
                    link.population = v;
                }
                link.post_collision = 0.0f;
            }
        }
    }
}

}  // namespace

void reference_step(Lattice& lattice) {
    reference_collide(lattice);
    reference_stream(lattice);
}
