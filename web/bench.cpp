// The demonstration's step in node, as smoke-bench measures it natively: a lattice of random smoke
// and populations, set back every few steps so that no figure overflows.
#include <emscripten/emscripten.h>

#include <memory>

#include "lattice/lattice.h"
#include "tools/random_state.h"

namespace {

std::unique_ptr<Lattice> lattice;

}  // namespace

// The step's parts, for node to time with the process's CPU time as smoke-bench does (a page's
// clocks are wall clocks): a lattice of the shape, set back to the random state, then steps.
extern "C" {

EMSCRIPTEN_KEEPALIVE void smoke_bench_build(int columns, int rows, int planes) {
    lattice = std::make_unique<Lattice>(columns, rows, planes, WORLD_TAU, WORLD_LATTICE_SPEED);
}

EMSCRIPTEN_KEEPALIVE void smoke_bench_randomise() { randomise(*lattice); }

EMSCRIPTEN_KEEPALIVE void smoke_bench_steps(int steps) {
    for (int i = 0; i < steps; ++i) lattice->advance();
}

}  // extern "C"
