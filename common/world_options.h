// The world as both programs take it: options on the command line over a TOML scenario file over
// the running system's defaults, each value checked with a message that says where it came from.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <CLI/App.hpp>

#include "lattice/world.h"

class WorldOptions {
public:
    // Adds --size, --planes, --tau, --speed, --source, --report-row, --scenario and --print-scenario.
    explicit WorldOptions(CLI::App& app);

    // After parsing: the world, checked against the model's rules and the machine's memory. On a
    // problem, nothing, and problem says it in one line, naming the option or the file, line and key.
    std::optional<World> world(std::string& problem) const;

    bool print_scenario = false;

private:
    std::optional<std::string> size_, planes_, tau_, speed_, report_row_, scenario_;
    std::vector<std::string> sources_;
};

// Help in the programs' own layout: their usage line, their description, then the options as CLI11
// lists them.
void set_help_layout(CLI::App& app, const std::string& usage);

// A cell given as "X,Y,PLANE" to option, inside world; otherwise a problem naming the option and text.
std::optional<std::string> read_place(const std::string& option, const std::string& text, const World& world,
                                      Place& place);

// The world as a scenario file that reads back as the same world, bit for bit.
std::string scenario_text(const World& world);

// Reads the scenario file at path over world: each key it holds replaces the world's value, and
// its [[source]] tables replace the sources (a key a source lacks is the default source's). The
// values are checked, but not yet against each other. False with problem set on any fault.
bool read_scenario(const std::string& path, World& world, std::string& problem);

// Bytes of memory the process may still take: what the system has available, within the limits
// set on the process; nothing when unknown.
std::optional<unsigned long long> available_memory();
