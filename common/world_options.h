// The world as both programs take it: options on the command line over a TOML scenario file over
// the running system's defaults, each value checked with a message that says where it came from.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/scenario_file.h"
#include "lattice/world.h"
#include "models/scenario.h"

namespace CLI {
class App;
}

class WorldOptions {
public:
    // Adds --model, --size, --planes, --tau, --speed, --source, --report-row, --scenario and
    // --print-scenario, listed together in --help, and the fluid's options in a group of their own.
    explicit WorldOptions(CLI::App& app);

    // After parsing: the scenario, checked against its model's rules and, unless it is only to be
    // printed, the machine's memory. On a problem, nothing, and problem says it in one line, naming
    // the option or the file, line and key.
    std::optional<Scenario> scenario(std::string& problem) const;

    // The same for a program that runs the demonstration alone: the fluid is refused.
    std::optional<World> world(std::string& problem) const;

    bool print_scenario = false;
    // Memory a program needs for each cell besides the lattice, counted in the check.
    std::uint64_t extra_bytes_per_cell = 0;
    std::uint64_t extra_bytes = 0;  // and once, whatever the world's size
    std::uint64_t extra_bytes_per_value = 0;  // and for each of a cell's values in its model's fields

private:
    std::optional<std::string> build(Scenario& scenario) const;
    std::optional<std::string> model_, size_, planes_, tau_, speed_, report_row_, scenario_;
    std::optional<std::string> force_, buoyancy_, flow_, taylor_green_, diffusivity_;
    std::vector<std::string> sources_, boundaries_, obstacles_, puffs_;
};

// Why a run of world cannot have the memory it needs, if it cannot: what it needs rounded up and
// what is available rounded down, so that the first always reads larger. Nothing available means
// that it cannot be told. extra_bytes is needed once, whatever the world's size.
std::optional<std::string> memory_problem(const World& world, std::uint64_t extra_bytes_per_cell,
                                          std::optional<std::uint64_t> available, std::uint64_t extra_bytes = 0);
// The same for a scenario of either model, by the model's own bytes per cell.
std::optional<std::string> memory_problem(const Scenario& scenario, std::uint64_t extra_bytes_per_cell,
                                          std::optional<std::uint64_t> available, std::uint64_t extra_bytes = 0);
