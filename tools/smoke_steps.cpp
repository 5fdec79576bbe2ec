// smoke-steps: runs the smoke lattice headless and prints each step's report, as the viewer does on
// f; on request as CSV, and with the whole lattice written as a ParaView time series.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "common/cell_text.h"
#include "common/command_line.h"
#include "common/float_text.h"
#include "common/scenario_file.h"
#include "common/standard_streams.h"
#include "common/world_draft.h"
#include "common/run_options.h"
#include "common/world_options.h"
#include "csv_report.h"
#include "lattice/survey.h"
#include "models/model.h"
#include "vtk_series.h"
#include "vtk_xml.h"

namespace {

constexpr long MAX_STEPS = 1000000000;
constexpr const char* USAGE =
    "usage: smoke-steps [STEPS] [--vtk DIR] [--every K] [--csv | --probe X,Y,PLANE ...] [--until-nonfinite] "
    "[--threads N] [world options]";

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
    "override the scenario file's settings. --print-scenario shows the world a command line makes.\n"
    "--model fluid runs the textbook fluid instead, with the fluid options; its .vti files add the\n"
    "velocity as a vector and a solid flag for obstacles.\n"
    "\n"
    "--threads N sets the worker threads of each step (by default every core this process may use);\n"
    "the figures are the same at any count.";

struct Options {
    long steps = 1;
    std::string vtk_folder;  // empty: no files
    long every = 1;
    bool csv = false;
    std::vector<Place> probes;
    bool until_nonfinite = false;
    int threads = 1;  // for each step
};

// Bytes a .vti file holds for each of a cell's values, built in memory before it is written:
// counted when the world is checked against the memory there is.
constexpr std::uint64_t VTI_BYTES_PER_VALUE = sizeof(float);

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
    const std::optional<long> number = parse_number<long>(text);
    if (!number || *number < low || *number > MAX_STEPS) return false;
    value = *number;
    return true;
}

// A folder whose name starts with '-' is far more likely an option that lost its value, as in
// "--vtk $EMPTY --csv"; ./-name still reaches such a folder.
bool looks_like_an_option(const std::string& value) { return !value.empty() && value[0] == '-'; }

constexpr int RUN = -1;  // the command line asks for a run

// Fills options and world from the command line: RUN, or the status to end with at once.
int parse(int argc, char** argv, Options& options, Scenario& scenario) {
    CLI::App app(DESCRIPTION, "smoke-steps");
    set_help_layout(app, USAGE);
    std::string steps, every;
    std::vector<std::string> probes;
    app.add_option("STEPS", steps, "steps to run (default 1)")->type_name("");
    CLI::Option* vtk =
        app.add_option("--vtk", options.vtk_folder, "also write the whole lattice for ParaView into DIR")->type_name("DIR");
    app.add_option("--every", every, "with --vtk: a file every K steps (default 1)")->type_name("K")->needs(vtk);
    CLI::Option* csv = app.add_flag("--csv", options.csv, "the report as CSV: step,column,row,smoke,population_4")
                           ->disable_flag_override()
                           ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    app.add_option("--probe", probes, "one cell's values at every step as CSV; repeatable")
        ->type_name("X,Y,PLANE")
        ->allow_extra_args(false)
        ->excludes(csv);
    app.add_flag("--until-nonfinite", options.until_nonfinite, "stop after the step that makes a value not finite")
        ->disable_flag_override()
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    WorldOptions world_options(app);
    const RunOptions run_options(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        return print(app.help());
    } catch (const CLI::RequiresError&) {  // the one option that needs another
        return refuse("--every applies to --vtk, which is missing");
    } catch (const CLI::ExcludesError&) {  // the one pair that cannot go together
        return refuse("--probe prints its own CSV: it cannot go with --csv");
    } catch (const CLI::ParseError& e) {
        return refuse(command_line_problem(app, e));
    }

    if (app.count("STEPS") && !parse_count(steps, 0, options.steps)) {
        return refuse("STEPS must be a whole number from 0 to " + std::to_string(MAX_STEPS) + ", not " +
                      quoted_argument(steps.c_str()));
    }
    if (app.count("--every") && !parse_count(every, 1, options.every)) {
        return refuse("K must be a whole number from 1 to " + std::to_string(MAX_STEPS) + ", not " +
                      quoted_argument(every.c_str()));
    }
    if (app.count("--vtk") && options.vtk_folder.empty()) return refuse("--vtk needs the name of a folder, not ''");
    if (app.count("--vtk") && looks_like_an_option(options.vtk_folder)) {
        return refuse("--vtk needs a folder, not " + quoted_argument(options.vtk_folder.c_str()) + " (write " +
                      quoted_argument(("./" + options.vtk_folder).c_str(), 22) + " for a folder of that name)");
    }

    if (app.count("--vtk")) world_options.extra_bytes_per_value = VTI_BYTES_PER_VALUE;
    std::string problem;
    const std::optional<Scenario> configured = world_options.scenario(problem);
    if (!configured) return refuse(problem);
    scenario = *configured;
    const std::optional<int> threads = run_options.threads(problem);
    if (!threads) return refuse(problem);
    options.threads = *threads;
    const World& world = scenario.world;
    for (const std::string& text : probes) {
        Place place{};
        if (const auto place_problem = read_place("--probe", text, world, place)) return refuse(*place_problem);
        options.probes.push_back(place);
    }
    if (world_options.print_scenario) return print(scenario_text(scenario));
    return RUN;
}

// What standard output says of the lattice at a step: the report (from step 1), its CSV, or the
// probed cells' rows (from step 0).
void write_step(const Options& options, const Model& model, long step) {
    if (!options.probes.empty()) {
        const CellValues values = model.values();
        for (const Place& p : options.probes) std::fputs(probe_csv_row(model.fields(), step, p, values).c_str(), stdout);
        std::fflush(stdout);
    } else if (step > 0) {
        if (options.csv) {
            write_csv_report(stdout, model.fields(), model.extent(), model.values(), model.scenario().world.report_row,
                             step);
        } else {
            model.report(stdout);
        }
    }
}

// With --until-nonfinite, the first value this step left that is not finite, if any.
std::optional<NonFinite> first_break(const Options& options, const Model& model) {
    return options.until_nonfinite ? survey(model.fields(), model.extent(), model.values()).first_nonfinite
                                   : std::nullopt;
}

void say_break(const Fields& fields, const NonFinite& first, long step) {
    std::fprintf(stderr, "smoke-steps: step %ld made the first value that is not finite: cell %d,%d,%d, its %s (%s)\n",
                 step, first.cell.column, first.cell.row, first.cell.plane, fields.quantity_name(first.quantity).c_str(),
                 float_text(first.value).c_str());
}

std::string vti(const Model& model, long step) {
    return vti_image(model.fields(), model.extent(), model.values(), step);
}

int run(const Options& options, const Scenario& scenario) {
    std::string error;
    std::unique_ptr<VtkSeries> series;
    if (!options.vtk_folder.empty()) {
        // Locked before the world is built, so that a second run is refused at once.
        series = std::make_unique<VtkSeries>(options.vtk_folder, options.steps);
        if (!series->lock(error)) return fail(error);
    }
    const std::unique_ptr<Model> model = make_model(scenario);
    model->set_threads(options.threads);
    if (series) {
        if (!series->start(scenario_text(scenario), error)) return fail(error);
        if (series->leftovers_removed > 0) {
            const int n = series->leftovers_removed;
            std::fprintf(stderr, "smoke-steps: removed %d unfinished file%s that an interrupted run left in %s\n", n,
                         n == 1 ? "" : "s", quoted_argument(options.vtk_folder.c_str(), 200).c_str());
        }
        if (!series->write(0, vti(*model, 0), error)) return fail(error);
    }
    if (options.csv) std::fputs(CSV_HEADER, stdout);
    if (!options.probes.empty()) std::fputs(probe_csv_header(model->fields()).c_str(), stdout);
    write_step(options, *model, 0);
    if (const int status = check_output()) return status;

    std::optional<NonFinite> broken = first_break(options, *model);
    if (broken) say_break(model->fields(), *broken, 0);
    for (long step = 1; step <= options.steps && !broken; ++step) {
        model->advance();
        write_step(options, *model, step);
        if (const int status = check_output()) return status;
        if ((broken = first_break(options, *model))) say_break(model->fields(), *broken, step);
        const bool wanted = step % options.every == 0 || step == options.steps || broken;
        if (series && wanted && !series->write(step, vti(*model, step), error)) return fail(error);
    }
    if (options.until_nonfinite && !broken) {
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
    try {
        Options options;
        Scenario scenario;
        if (const int status = parse(argc, argv, options, scenario); status != RUN) return status;
        return run(options, scenario);
    } catch (const std::bad_alloc&) {
        // The world was checked against the memory available; another process may have taken it.
        return fail("out of memory");
    }
}
