// The benchmarks' start state, shared by smoke-bench and the page's benchmark in node, so that both
// time the step on the same figures.
#pragma once

#include <random>

#include "lattice/lattice.h"

// Smoke and populations drawn uniformly from [0, 1) with a fixed seed, so that every start is the
// same. A state of the same kind at every size: a freshly seeded world is almost all zeros, and its
// smoke reaches a large world's far cells only after hundreds of steps. No zeros, no subnormal
// floats (which cost some processors far more than normal ones), nothing infinite.
inline void randomise(Lattice& lattice) {
    std::mt19937 random(1);
    std::uniform_real_distribution<float> value(0.0f, 1.0f);
    for (auto& plane : lattice.planes) {
        for (auto& cell : plane->cells) {
            cell->smoke = value(random);
            for (Link& link : cell->links) link.population = value(random);
        }
    }
}
