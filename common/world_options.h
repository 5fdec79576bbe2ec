// The world as both programs take it: options on the command line over a TOML scenario file over
// the running system's defaults, each value checked with a message that says where it came from.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <CLI/App.hpp>

#include "common/command_line.h"
#include "lattice/world.h"

class WorldOptions {
public:
    // Adds --size, --planes, --tau, --speed, --source, --report-row, --scenario and --print-scenario.
    explicit WorldOptions(CLI::App& app);

    // After parsing: the world, checked against the model's rules and the machine's memory. On a
    // problem, nothing, and problem says it in one line, naming the option or the file, line and key.
    std::optional<World> world(std::string& problem) const;

    bool print_scenario = false;
    // Memory a program needs for each cell besides the lattice, counted in the check.
    std::uint64_t extra_bytes_per_cell = 0;
    std::uint64_t extra_bytes = 0;  // and once, whatever the world's size

private:
    std::optional<std::string> build_world(World& world) const;
    std::optional<std::string> size_, planes_, tau_, speed_, report_row_, scenario_;
    std::vector<std::string> sources_;
};

// A cell given as "X,Y,PLANE" to option, inside world; otherwise a problem naming the option and text.
std::optional<std::string> read_place(const std::string& option, const std::string& text, const World& world,
                                      Place& place);

// The world as a scenario file that reads back as the same world, bit for bit.
std::string scenario_text(const World& world);

// Reads the scenario file at path over world: each key it holds replaces the world's value, and
// its [[source]] tables replace the sources (a key a source lacks is the default source's). The
// world is checked, but not against the machine's memory. False with problem set on any fault.
bool read_scenario(const std::string& path, World& world, std::string& problem);
