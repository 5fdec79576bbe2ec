#include "common/world_options.h"

#include <set>

#include <CLI/CLI.hpp>

#include "common/command_line.h"
#include "common/memory_available.h"
#include "common/standard_streams.h"
#include "models/model.h"

WorldOptions::WorldOptions(CLI::App& app) {
    // Listed together in --help. A group of options, not CLI11's Option_group: that one is parsed as
    // a subcommand of its own, and the viewer's toolkit arguments would go through it.
    const char* group = "world options";
    app.add_option("--model", model_, "demo, the demonstration (the default), or fluid, the textbook fluid")
        ->type_name("MODEL")
        ->group(group);
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

    const char* fluid = "fluid options (with --model fluid)";
    app.add_option("--boundary", boundaries_,
                   "a face (left, right, bottom, top, front, back) and its kind; repeatable (default: periodic)")
        ->type_name("FACE=KIND[:UX,UY,UZ]")
        ->group(fluid)
        ->allow_extra_args(false);
    app.add_option("--obstacle", obstacles_, "a solid disc or box through every plane; repeatable")
        ->type_name("disc:X,Y,R|box:X0,Y0,X1,Y1")
        ->group(fluid)
        ->allow_extra_args(false);
    app.add_option("--force", force_, "a body force on every cell (default 0,0,0)")->type_name("FX,FY,FZ")->group(fluid);
    app.add_option("--buoyancy", buoyancy_, "a cell's push toward higher rows per unit of smoke (default 0)")
        ->type_name("B")
        ->group(fluid);
    app.add_option("--flow", flow_, "the initial uniform velocity (default 0,0,0)")->type_name("UX,UY,UZ")->group(fluid);
    app.add_option("--taylor-green", taylor_green_, "add a Taylor-Green vortex of this amplitude at the start")
        ->type_name("U")
        ->group(fluid);
    app.add_option("--diffusivity", diffusivity_, "the smoke's diffusivity, above 0 (default 0.02)")
        ->type_name("D")
        ->group(fluid);
    app.add_option("--puff", puffs_, "smoke put into a cell once, before the first step; repeatable")
        ->type_name("X,Y,PLANE,SMOKE")
        ->group(fluid)
        ->allow_extra_args(false);
}

std::optional<Scenario> WorldOptions::scenario(std::string& problem) const {
    Scenario s;
    if (const auto p = build(s)) {
        problem = *p;
        return std::nullopt;
    }
    return s;
}

std::optional<World> WorldOptions::world(std::string& problem) const {
    const std::optional<Scenario> s = scenario(problem);
    if (!s) return std::nullopt;
    if (s->model != ModelKind::demo) {
        problem = "this program runs the demonstration model alone, not the fluid";
        return std::nullopt;
    }
    return s->world;
}

std::optional<std::string> WorldOptions::build(Scenario& scenario) const {
    Draft draft;
    // Each face named once, by a known name; the rest of a --boundary is checked with the scenario.
    for (const std::string& text : boundaries_) {
        const std::string origin = "--boundary " + quoted_argument(text.c_str());
        const std::size_t equals = text.find('='), colon = text.find(':');
        const std::string face = text.substr(0, equals);
        int f = 0;
        while (f < fluid::FACE_COUNT && face != fluid::FACE_NAMES[std::size_t(f)]) ++f;
        if (equals == std::string::npos || f == fluid::FACE_COUNT) {
            return origin + " must be FACE=KIND[:UX,UY,UZ] with a face left, right, bottom, top, front or back";
        }
        if (draft.faces.count(f)) return "--boundary names the " + face + " face twice";
        GivenFace& given = draft.faces[f];
        given.origin = origin;
        const std::size_t kind_end = colon == std::string::npos ? text.size() : colon;
        given.kind = given_text(origin + ": kind", text.substr(equals + 1, kind_end - equals - 1));
        if (colon != std::string::npos) {
            given.velocity.emplace();
            read_array(origin + ": velocity", text.substr(colon + 1), "UX,UY,UZ", *given.velocity);
        }
    }
    if (scenario_) {
        std::set<std::string> overridden;
        if (model_) overridden.insert("model");
        const std::pair<const std::optional<std::string>*, const char*> fluid_settings[] = {
            {&force_, "force"}, {&buoyancy_, "buoyancy"}, {&flow_, "flow"}, {&taylor_green_, "taylor_green"},
            {&diffusivity_, "diffusivity"}};
        for (const auto& [value, key] : fluid_settings) {
            if (*value) overridden.insert(key);
        }
        for (const auto& face : draft.faces) overridden.insert(std::string("boundary.") + fluid::FACE_NAMES[std::size_t(face.first)]);
        if (!obstacles_.empty()) overridden.insert("obstacle");
        if (!puffs_.empty()) overridden.insert("puff");
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
    if (model_) draft.settings["model"] = given_text("--model", *model_);
    if (diffusivity_) draft.settings["diffusivity"] = given_text("--diffusivity", *diffusivity_);
    if (buoyancy_) draft.settings["buoyancy"] = given_text("--buoyancy", *buoyancy_);
    if (taylor_green_) draft.settings["taylor_green"] = given_text("--taylor-green", *taylor_green_);
    if (force_) read_array("--force", *force_, "FX,FY,FZ", draft.settings["force"]);
    if (flow_) read_array("--flow", *flow_, "UX,UY,UZ", draft.settings["flow"]);
    if (!obstacles_.empty()) {
        draft.obstacles.emplace();
        for (const std::string& text : obstacles_) {
            const std::string origin = "--obstacle " + quoted_argument(text.c_str());
            GivenObstacle o;
            o.origin = origin;
            o.disc = text.rfind("disc:", 0) == 0;
            if (!o.disc && text.rfind("box:", 0) != 0) return origin + " must be disc:X,Y,R or box:X0,Y0,X1,Y1";
            const std::size_t colon = text.find(':');
            if (auto p = read_fields("--obstacle", text.substr(colon + 1), o.disc ? "X,Y,R" : "X0,Y0,X1,Y1", o.values)) {
                return origin + " must be disc:X,Y,R or box:X0,Y0,X1,Y1";
            }
            draft.obstacles->push_back(o);
        }
    }
    if (!puffs_.empty()) {
        draft.puffs.emplace();
        for (const std::string& text : puffs_) {
            std::vector<Given> fields;
            if (auto p = read_fields("--puff", text, "X,Y,PLANE,SMOKE", fields)) return p;
            draft.puffs->push_back({"--puff", fields[0], fields[1], fields[2], fields[3]});
        }
    }
    if (auto p = build_scenario(draft, scenario)) return p;
    // Printing the world allocates nothing, so a world too large for this machine prints too.
    if (print_scenario) return std::nullopt;
    const std::uint64_t values = std::uint64_t(model_fields(scenario.model).value_count());
    return memory_problem(scenario, extra_bytes_per_cell + extra_bytes_per_value * values, memory_available(),
                          extra_bytes);
}

std::optional<std::string> memory_problem(const World& world, std::uint64_t extra_bytes_per_cell,
                                          std::optional<std::uint64_t> available, std::uint64_t extra_bytes) {
    Scenario demo;
    demo.world = world;
    return memory_problem(demo, extra_bytes_per_cell, available, extra_bytes);
}

std::optional<std::string> memory_problem(const Scenario& scenario, std::uint64_t extra_bytes_per_cell,
                                          std::optional<std::uint64_t> available, std::uint64_t extra_bytes) {
    const World& world = scenario.world;
    std::optional<std::uint64_t> needed = model_bytes(scenario, extra_bytes_per_cell);
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
