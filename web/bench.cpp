// The demonstration's step in node, as smoke-bench measures it natively: a lattice of random smoke
// and populations, set back every few steps so that no figure overflows, timed by the wall clock
// (the only one a page has; node runs it on one thread).
#include <emscripten/emscripten.h>

#include <chrono>
#include <memory>
#include <random>

#include "lattice/lattice.h"

namespace {

// As smoke-bench's: uniform in [0, 1) from a fixed seed, no zeros, subnormals or infinities.
void randomise(Lattice& lattice) {
    std::mt19937 random(1);
    std::uniform_real_distribution<float> value(0.0f, 1.0f);
    for (auto& plane : lattice.planes) {
        for (auto& cell : plane->cells) {
            cell->smoke = value(random);
            for (Link& link : cell->links) link.population = value(random);
        }
    }
}

constexpr int STEPS_PER_RUN = 20;

}  // namespace

extern "C" {

// Seconds a step takes on a columns x rows x planes lattice, over at least `seconds` of steps.
EMSCRIPTEN_KEEPALIVE double smoke_bench_step(int columns, int rows, int planes, double seconds) {
    using Clock = std::chrono::steady_clock;
    Lattice lattice(columns, rows, planes, WORLD_TAU, WORLD_LATTICE_SPEED);
    long steps = 0;
    std::chrono::duration<double> timed(0);
    while (timed.count() < seconds) {
        randomise(lattice);
        const Clock::time_point start = Clock::now();
        for (int i = 0; i < STEPS_PER_RUN; ++i) lattice.advance();
        timed += Clock::now() - start;
        steps += STEPS_PER_RUN;
    }
    return timed.count() / double(steps);
}

}  // extern "C"
