// Scenario files: a world as TOML, in one fixed layout that people can share.
#pragma once

#include <set>
#include <string>

#include "common/world_draft.h"
#include "lattice/world.h"
#include "models/scenario.h"

// The world as a scenario file that reads back as the same world, bit for bit.
std::string scenario_text(const World& world);
// A scenario the same way: the demonstration's as its world alone, the fluid's with model = "fluid",
// its settings in [world], every face in [boundary], and its [[obstacle]] and [[puff]] tables.
std::string scenario_text(const Scenario& scenario);

// Reads the scenario file's settings into draft: each key it holds replaces the default, and its
// [[source]] tables replace the sources (a key a source lacks is the default source's); but for
// the keys overridden ("source" for the sources), whose values are then not even looked at. On a
// fault, one line naming the file, line and key.
std::optional<std::string> read_scenario_draft(const std::string& path, const std::set<std::string>& overridden,
                                               Draft& draft);
