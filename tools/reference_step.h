// The step written out link by link, exactly as the model is defined, with no work shared between
// links: a competent first implementation (the velocity set's tables in view of the compiler, the
// cells in memory order, the same flags) and so the yardstick that the benchmark measures Lattice's
// step against. The tests check the step against their own stepper (tests/position_stepper.h).
#pragma once

#include "lattice/lattice.h"

// One collision and one streaming pass, without the report.
void reference_step(Lattice& lattice);
