// smoke-steps: runs the smoke lattice headless and prints each step's report, as the viewer does on
// f; on request as CSV, and with the whole lattice written as a ParaView time series.
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "common/standard_streams.h"
#include "field_output.h"
#include "lattice/lattice.h"

namespace {

constexpr long MAX_STEPS = 1000000000;
constexpr const char* USAGE = "usage: smoke-steps [STEPS] [--vtk DIR] [--every K] [--csv]\n";

struct Options {
    long steps = 1;
    std::string vtk_folder;  // empty: no files
    long every = 1;
    bool csv = false;
};

int refuse(const std::string& problem) {
    std::fprintf(stderr, "smoke-steps: %s\n%.*s; 'smoke-steps --help' tells more\n", problem.c_str(),
                 int(std::strlen(USAGE) - 1), USAGE);
    return 2;
}

int fail(const std::string& problem) {
    std::fprintf(stderr, "smoke-steps: %s\n", problem.c_str());
    return 1;
}

// A failed write ends the run: nothing after it would reach the reader either.
int check_output() { return output_failed(stdout, "smoke-steps", "to standard output") ? 1 : 0; }

int print_help() {
    std::fputs(USAGE, stdout);
    std::fputs(
        "\n"
        "Builds the 50 x 50 smoke lattice as the viewer does (tau 0.56, lattice speed 0.5, source at\n"
        "column 25, row 49 with smoke 0.42), runs STEPS steps (default 1, 0 to 1000000000) and prints\n"
        "each step's report: for columns 0..9 of row 9, the cell's smoke and its population toward\n"
        "the next column. The options may come in any order.\n"
        "\n"
        "  --vtk DIR   also write the whole lattice for ParaView: DIR/smoke_STEP.vti (VTK XML image\n"
        "              data: cell arrays smoke, density, velocity and the 19 populations) for the\n"
        "              seeded state, every K-th step and the last, listed with their steps in\n"
        "              DIR/smoke.pvd; open that. DIR is created if missing; files are replaced.\n"
        "  --every K   with --vtk: a file every K steps (default 1, 1 to 1000000000)\n"
        "  --csv       print the report as CSV instead: step,column,row,smoke,population_4, each\n"
        "              figure the shortest text that reads back as the same float\n",
        stdout);
    std::fflush(stdout);
    return check_output();
}

// A whole number within low..MAX_STEPS; "-0" is 0.
bool parse_count(const char* text, long low, long& value) {
    const char* end = text + std::strlen(text);
    const auto [stop, error] = std::from_chars(text, end, value);
    return error == std::errc() && stop == end && value >= low && value <= MAX_STEPS;
}

bool is_option(const char* arg) { return arg[0] == '-' && !(arg[1] >= '0' && arg[1] <= '9'); }

constexpr int RUN = -1;  // the command line asks for a run

// Fills options from the command line: RUN, or the status to end with at once (--help, refusals).
int parse(int argc, char** argv, Options& options) {
    bool have_steps = false, have_every = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") return print_help();
        if (arg == "--csv") {
            options.csv = true;
        } else if (arg == "--vtk" || arg == "--every") {
            if (i + 1 == argc || argv[i + 1][0] == '\0') return refuse(arg + " needs a value");
            const char* value = argv[++i];
            if (arg == "--vtk") {
                options.vtk_folder = value;
            } else if (!parse_count(value, 1, options.every)) {
                return refuse("K must be a whole number from 1 to " + std::to_string(MAX_STEPS) + ", not " +
                              quoted_argument(value));
            } else {
                have_every = true;
            }
        } else if (is_option(argv[i])) {
            return refuse("unknown option " + quoted_argument(argv[i]));
        } else if (have_steps) {
            return refuse("STEPS given twice: " + quoted_argument(argv[i]));
        } else if (!parse_count(argv[i], 0, options.steps)) {
            return refuse("STEPS must be a whole number from 0 to " + std::to_string(MAX_STEPS) + ", not " +
                          quoted_argument(argv[i]));
        } else {
            have_steps = true;
        }
    }
    if (have_every && options.vtk_folder.empty()) return refuse("--every applies to --vtk, which is missing");
    return RUN;
}

}  // namespace

int main(int argc, char** argv) {
    reserve_standard_descriptors();
    Options options;
    if (const int status = parse(argc, argv, options); status != RUN) return status;

    const auto lattice = make_world();
    std::string error;
    std::unique_ptr<VtkSeries> series;
    if (!options.vtk_folder.empty()) {
        series = std::make_unique<VtkSeries>(options.vtk_folder);
        if (!series->start(error) || !series->write(*lattice, 0, error)) return fail(error);
    }
    if (options.csv) std::fputs(CSV_HEADER, stdout);

    for (long step = 1; step <= options.steps; ++step) {
        if (options.csv) {
            lattice->collide();
            lattice->stream();
            write_csv_report(stdout, *lattice, step);
        } else {
            lattice->step();
        }
        if (const int status = check_output()) return status;
        const bool wanted = step % options.every == 0 || step == options.steps;
        if (series && wanted && !series->write(*lattice, step, error)) return fail(error);
    }
    std::fflush(stdout);
    return check_output();
}
