// smoke-steps: runs the smoke lattice headless and prints each step's report, as the viewer does on
// f; on request as CSV, and with the whole lattice written as a ParaView time series.
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "common/cell_text.h"
#include "common/float_text.h"
#include "common/standard_streams.h"
#include "common/world_options.h"
#include "field_output.h"
#include "lattice/lattice.h"
#include "lattice/survey.h"

namespace {

constexpr long MAX_STEPS = 1000000000;
constexpr const char* USAGE =
    "usage: smoke-steps [STEPS] [--vtk DIR] [--every K] [--csv | --probe X,Y,PLANE ...] [--until-nonfinite] "
    "[world options]";

constexpr const char* DESCRIPTION =
    "Builds the smoke lattice as the viewer does (by default 50 x 50 cells, tau 0.56, lattice speed 0.5,\n"
    "one source at column 25, row 49 with smoke 0.42), runs STEPS steps (default 1, 0 to 1000000000)\n"
    "and prints each step's report: for columns 0..9 of the report row of plane 0, the cell's smoke\n"
    "and its population toward the next column. The options may come in any order.\n"
    "\n"
    "--vtk DIR also writes the whole lattice for ParaView: DIR/smoke_STEP.vti (VTK XML image data, cell\n"
    "arrays smoke, density, velocity and the 19 populations) for the seeded state, every K-th step and\n"
    "the last, listed with their steps in DIR/smoke.pvd; open that. DIR/scenario.toml is the world, for\n"
    "--scenario. DIR is created if missing; one run at a time writes into it, and it replaces the files\n"
    "an earlier run left there.\n"
    "\n"
    "--probe X,Y,PLANE prints, instead of the report, one CSV row of that cell's values (smoke,\n"
    "density, velocity and the 19 populations) for the seeded state (step 0) and after every step;\n"
    "repeat it for more cells, one row each in the order given. --until-nonfinite stops the run after\n"
    "the first step that leaves any value of any cell infinite or not a number, and says on standard\n"
    "error which step, cell and quantity it was.\n"
    "\n"
    "The world options choose another world; any --source replaces the default source, and options\n"
    "override the scenario file's settings. --print-scenario shows the world a command line makes.";

struct Options {
    std::string steps_text;
    std::string vtk_folder;  // empty: no files
    std::string every_text;
    bool csv = false;
    std::vector<std::string> probe_texts;
    bool until_nonfinite = false;
    long steps = 1;
    long every = 1;
    std::vector<Place> probes;  // read from probe_texts once the world is known
};

int refuse(const std::string& problem) {
    std::fprintf(stderr, "smoke-steps: %s\n%s; 'smoke-steps --help' tells more\n", problem.c_str(), USAGE);
    return 2;
}

int fail(const std::string& problem) {
    std::fprintf(stderr, "smoke-steps: %s\n", problem.c_str());
    return 1;
}

// A failed write ends the run: nothing after it would reach the reader either.
int check_output() { return output_failed(stdout, "smoke-steps", "to standard output") ? 1 : 0; }

int print(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
    return check_output();
}

// A whole number within low..MAX_STEPS; "-0" is 0.
bool parse_count(const std::string& text, long low, long& value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end && value >= low && value <= MAX_STEPS;
}

// A folder whose name starts with '-' is far more likely an option that lost its value, as in
// "--vtk $EMPTY --csv"; ./-name still reaches such a folder.
bool looks_like_an_option(const std::string& value) { return !value.empty() && value[0] == '-'; }

constexpr int RUN = -1;  // the command line asks for a run

// Fills options and world from the command line: RUN, or the status to end with at once.
int parse(int argc, char** argv, Options& options, World& world) {
    CLI::App app(DESCRIPTION, "smoke-steps");
    set_help_layout(app, USAGE);
    app.add_option("STEPS", options.steps_text, "steps to run (default 1)")->type_name("");
    app.add_option("--vtk", options.vtk_folder, "also write the whole lattice for ParaView into DIR")->type_name("DIR");
    app.add_option("--every", options.every_text, "with --vtk: a file every K steps (default 1)")->type_name("K");
    app.add_flag("--csv", options.csv, "the report as CSV: step,column,row,smoke,population_4");
    app.add_option("--probe", options.probe_texts, "one cell's values at every step as CSV; repeatable")
        ->type_name("X,Y,PLANE")
        ->take_all();
    app.add_flag("--until-nonfinite", options.until_nonfinite, "stop after the step that makes a value not finite");
    const WorldOptions world_options(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        return print(app.help());
    } catch (const CLI::ParseError& e) {
        return refuse(e.what());
    }

    if (app.count("STEPS") && !parse_count(options.steps_text, 0, options.steps)) {
        return refuse("STEPS must be a whole number from 0 to " + std::to_string(MAX_STEPS) + ", not " +
                      quoted_argument(options.steps_text.c_str()));
    }
    if (app.count("--every") && !parse_count(options.every_text, 1, options.every)) {
        return refuse("K must be a whole number from 1 to " + std::to_string(MAX_STEPS) + ", not " +
                      quoted_argument(options.every_text.c_str()));
    }
    if (app.count("--vtk") && (options.vtk_folder.empty() || looks_like_an_option(options.vtk_folder))) {
        return refuse("--vtk needs a folder, not " + quoted_argument(options.vtk_folder.c_str()) + " (write " +
                      quoted_argument(("./" + options.vtk_folder).c_str(), 22) + " for a folder of that name)");
    }
    if (app.count("--every") && !app.count("--vtk")) return refuse("--every applies to --vtk, which is missing");
    if (options.csv && !options.probe_texts.empty()) return refuse("--probe prints its own CSV: it cannot go with --csv");

    std::string problem;
    const std::optional<World> configured = world_options.world(problem);
    if (!configured) return refuse(problem);
    world = *configured;
    for (const std::string& text : options.probe_texts) {
        Place place{};
        if (const auto place_problem = read_place("--probe", text, world, place)) return refuse(*place_problem);
        options.probes.push_back(place);
    }
    if (world_options.print_scenario) return print(scenario_text(world));
    return RUN;
}

// What standard output says of the lattice at a step: the report (from step 1), its CSV, or the
// probed cells' rows (from step 0).
void write_step(const Options& options, const Lattice& lattice, long step) {
    if (!options.probes.empty()) {
        for (const Place& p : options.probes) {
            std::fputs(probe_csv_row(step, p, *lattice.cell(p.column, p.row, p.plane)).c_str(), stdout);
        }
        std::fflush(stdout);
    } else if (step > 0) {
        if (options.csv) {
            write_csv_report(stdout, lattice, step);
        } else {
            lattice.report(stdout);
        }
    }
}

// With --until-nonfinite: whether this step left a value that is not finite, said when it did.
bool broke(const Options& options, const Lattice& lattice, long step) {
    if (!options.until_nonfinite) return false;
    const std::optional<NonFinite> first = survey(lattice).first_nonfinite;
    if (!first) return false;
    std::fprintf(stderr, "smoke-steps: step %ld made the first value that is not finite: cell %d,%d,%d, its %s (%s)\n",
                 step, first->cell.column, first->cell.row, first->cell.plane, quantity_name(first->quantity).c_str(),
                 float_text(first->value).c_str());
    return true;
}

int run(const Options& options, const World& world) {
    const auto lattice = make_world(world);
    std::string error;
    std::unique_ptr<VtkSeries> series;
    if (!options.vtk_folder.empty()) {
        series = std::make_unique<VtkSeries>(options.vtk_folder, options.steps);
        if (!series->start(scenario_text(world), error)) return fail(error);
        if (series->leftovers_removed > 0) {
            const int n = series->leftovers_removed;
            std::fprintf(stderr, "smoke-steps: removed %d unfinished file%s that an interrupted run left in %s\n", n,
                         n == 1 ? "" : "s", quoted_argument(options.vtk_folder.c_str(), 200).c_str());
        }
        if (!series->write(*lattice, 0, error)) return fail(error);
    }
    if (options.csv) std::fputs(CSV_HEADER, stdout);
    if (!options.probes.empty()) std::fputs(probe_csv_header().c_str(), stdout);
    write_step(options, *lattice, 0);
    if (const int status = check_output()) return status;

    bool stopped = broke(options, *lattice, 0);
    for (long step = 1; step <= options.steps && !stopped; ++step) {
        lattice->advance();
        write_step(options, *lattice, step);
        if (const int status = check_output()) return status;
        stopped = broke(options, *lattice, step);
        const bool wanted = step % options.every == 0 || step == options.steps || stopped;
        if (series && wanted && !series->write(*lattice, step, error)) return fail(error);
    }
    if (options.until_nonfinite && !stopped) {
        std::fprintf(stderr, "smoke-steps: every value is still finite after step %ld\n", options.steps);
    }
    if (series && !series->finish(error)) return fail(error);
    std::fflush(stdout);
    return check_output();
}

}  // namespace

int main(int argc, char** argv) {
    if (!reserve_standard_descriptors()) {
        std::fprintf(stderr, "smoke-steps: cannot open descriptors 0 to 2: %s\n", std::strerror(errno));
        return 1;
    }
    // Past a file size limit (ulimit -f) a write then fails with EFBIG and is said like any other
    // failure, instead of the signal killing the run in the middle of a file.
    std::signal(SIGXFSZ, SIG_IGN);
    Options options;
    World world;
    if (const int status = parse(argc, argv, options, world); status != RUN) return status;
    try {
        return run(options, world);
    } catch (const std::bad_alloc&) {
        return fail("out of memory while building the world");
    }
}
