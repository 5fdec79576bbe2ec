// The world as both programs take it: options on the command line over a TOML scenario file over
// the running system's defaults, each value checked with a message that says where it came from.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/scenario_file.h"
#include "lattice/world.h"

namespace CLI {
class App;
}

class WorldOptions {
public:
    // Adds --size, --planes, --tau, --speed, --source, --report-row, --scenario and --print-scenario,
    // listed together in --help.
    explicit WorldOptions(CLI::App& app);

    // After parsing: the world, checked against the model's rules and, unless it is only to be
    // printed, the machine's memory. On a problem, nothing, and problem says it in one line, naming
    // the option or the file, line and key.
    std::optional<World> world(std::string& problem) const;

    bool print_scenario = false;
    // Memory a program needs for each cell besides the lattice, counted in the check.
    std::uint64_t extra_bytes_per_cell = 0;
    std::uint64_t extra_bytes = 0;  // and once, whatever the world's size

private:
    std::optional<std::string> build(World& world) const;
    std::optional<std::string> size_, planes_, tau_, speed_, report_row_, scenario_;
    std::vector<std::string> sources_;
};

// Why a run of world cannot have the memory it needs, if it cannot: what it needs rounded up and
// what is available rounded down, so that the first always reads larger. Nothing available means
// that it cannot be told. extra_bytes is needed once, whatever the world's size.
std::optional<std::string> memory_problem(const World& world, std::uint64_t extra_bytes_per_cell,
                                          std::optional<std::uint64_t> available, std::uint64_t extra_bytes = 0);
