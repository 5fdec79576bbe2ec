// A run as the programs take it: which model, the world both models share (size, relaxation time,
// sources, report row) and the fluid's own settings. The demonstration reads only the world.
#pragma once

#include "fluid/setup.h"
#include "lattice/world.h"

enum class ModelKind { demo, fluid };
constexpr const char* MODEL_NAMES[] = {"demo", "fluid"};

struct Scenario {
    ModelKind model = ModelKind::demo;
    World world;          // columns, rows, planes, tau, sources and report row; speed is the demo's
    fluid::Setup fluid;   // faces, obstacles, forces, flow, diffusivity and puffs: the fluid's alone
};

// The fluid's whole setup: the world's shared settings over the fluid's own.
fluid::Setup fluid_setup(const Scenario& scenario);

// Bytes the model's state takes for the scenario's world, for the memory check before building it;
// nothing when the count does not fit in 64 bits.
std::optional<std::uint64_t> model_bytes(const Scenario& scenario, std::uint64_t extra_per_cell);
