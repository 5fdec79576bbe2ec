#include "common/world_options.h"

#include <set>

#include <CLI/CLI.hpp>

#include "common/command_line.h"
#include "common/memory_available.h"
#include "common/standard_streams.h"

WorldOptions::WorldOptions(CLI::App& app) {
    // Listed together in --help. A group of options, not CLI11's Option_group: that one is parsed as
    // a subcommand of its own, and the viewer's toolkit arguments would go through it.
    const char* group = "world options";
    app.add_option("--size", size_, "cells per row and per column, or N for N x N (default 50)")
        ->type_name("COLUMNSxROWS")
        ->group(group);
    app.add_option("--planes", planes_, "planes stacked along z (default 1)")->type_name("N")->group(group);
    app.add_option("--tau", tau_, "relaxation time, above 0 (default 0.56)")->type_name("T")->group(group);
    app.add_option("--speed", speed_, "lattice speed, at least 0 (default 0.5)")->type_name("S")->group(group);
    app.add_option("--source", sources_, "seed smoke into a cell; repeatable (default 25,49,0,0.42)")
        ->type_name("X,Y,PLANE,SMOKE")
        ->group(group)
        ->allow_extra_args(false);
    app.add_option("--report-row", report_row_, "the row of plane 0 that the report reads (default 9)")
        ->type_name("R")
        ->group(group);
    app.add_option("--scenario", scenario_, "read the world from a TOML file; options override it")
        ->type_name("FILE")
        ->group(group);
    app.add_flag("--print-scenario", print_scenario, "print the world as a scenario file, then end")
        ->disable_flag_override()
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw)
        ->group(group);
}

std::optional<World> WorldOptions::world(std::string& problem) const {
    World w;
    if (const auto p = build(w)) {
        problem = *p;
        return std::nullopt;
    }
    return w;
}

std::optional<std::string> WorldOptions::build(World& w) const {
    Draft draft;
    if (scenario_) {
        std::set<std::string> overridden;
        if (size_) overridden.insert({"columns", "rows"});
        if (planes_) overridden.insert("planes");
        if (tau_) overridden.insert("tau");
        if (speed_) overridden.insert("speed");
        if (report_row_) overridden.insert("report_row");
        if (!sources_.empty()) overridden.insert("source");
        if (auto p = read_scenario_draft(*scenario_, overridden, draft)) return p;
    }
    if (size_) {
        // COLUMNSxROWS, or N for N x N.
        const std::size_t x = size_->find('x');
        const std::string columns = size_->substr(0, x), rows = x == std::string::npos ? columns : size_->substr(x + 1);
        if (!parse_number<long long>(columns) || !parse_number<long long>(rows)) {
            return "--size must be COLUMNSxROWS or N, not " + quoted_argument(size_->c_str());
        }
        draft.settings["columns"] = given_text("--size", columns);
        draft.settings["rows"] = given_text("--size", rows);
    }
    if (planes_) draft.settings["planes"] = given_text("--planes", *planes_);
    if (tau_) draft.settings["tau"] = given_text("--tau", *tau_);
    if (speed_) draft.settings["speed"] = given_text("--speed", *speed_);
    if (report_row_) draft.settings["report_row"] = given_text("--report-row", *report_row_);
    if (!sources_.empty()) {
        draft.sources.emplace();
        for (const std::string& text : sources_) {
            std::vector<Given> fields;
            if (auto p = read_fields("--source", text, "X,Y,PLANE,SMOKE", fields)) return p;
            draft.sources->push_back({"--source", fields[0], fields[1], fields[2], fields[3]});
        }
    }
    if (auto p = build_world(draft, w)) return p;
    // Printing the world allocates nothing, so a world too large for this machine prints too.
    if (print_scenario) return std::nullopt;
    return memory_problem(w, extra_bytes_per_cell, memory_available(), extra_bytes);
}

std::optional<std::string> memory_problem(const World& world, std::uint64_t extra_bytes_per_cell,
                                          std::optional<std::uint64_t> available, std::uint64_t extra_bytes) {
    std::optional<std::uint64_t> needed = world_bytes(world, extra_bytes_per_cell);
    if (needed && __builtin_add_overflow(*needed, extra_bytes, &*needed)) needed.reset();
    const std::string start = "the " + size_text(world) + " world needs ";
    if (!needed) return start + "more memory than can be counted, and " +
                        (available ? memory_text(*available, false) : std::string("less")) + " is available";
    if (!available) {
        return start + memory_text(*needed, true) + " of memory, and the memory available cannot be told";
    }
    if (*needed <= *available) return std::nullopt;
    // Rounded apart, the two can never read the same: the first is at least what is needed, the
    // second at most what is available, which is less.
    return start + memory_text(*needed, true) + " of memory, and " + memory_text(*available, false) + " is available";
}
