// smoke-steps: runs the smoke lattice headless and prints each step's report, as the viewer does on f.
#include <cstdio>
#include <cstring>
#include <string>

#include "lattice/lattice.h"

namespace {

constexpr long MAX_STEPS = 1000000000;
constexpr const char* USAGE = "usage: smoke-steps [STEPS]\n";

void print_help() {
    std::fputs(USAGE, stdout);
    std::fputs(
        "\n"
        "Builds the 50 x 50 smoke lattice as the viewer does (tau 0.56, lattice speed 0.5, source at\n"
        "column 25, row 49 with smoke 0.42), runs STEPS steps (default 1, 0 to 1000000000) and prints\n"
        "each step's report: for columns 0..9 of row 9, the cell's smoke and its population toward\n"
        "the next column.\n",
        stdout);
}

int refuse(const std::string& problem) {
    std::fprintf(stderr, "smoke-steps: %s\nusage: smoke-steps [STEPS]; 'smoke-steps --help' tells more\n",
                 problem.c_str());
    return 2;
}

bool is_digits(const char* text) {
    if (*text == '\0') return false;
    for (const char* c = text; *c; ++c) {
        if (*c < '0' || *c > '9') return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2) return refuse("expected at most one argument, got " + std::to_string(argc - 1));

    long steps = 1;
    if (argc == 2) {
        const char* arg = argv[1];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            print_help();
            return 0;
        }
        if (arg[0] == '-' && is_digits(arg + 1)) return refuse("STEPS must not be negative: '" + std::string(arg) + "'");
        if (arg[0] == '-') return refuse("unknown option '" + std::string(arg) + "'");
        if (!is_digits(arg)) return refuse("STEPS must be a whole number: '" + std::string(arg) + "'");
        // Skip leading zeros, then compare lengths first so that no digit string can overflow.
        const char* digits = arg + std::strspn(arg, "0");
        if (std::strlen(digits) > 10 || std::stol(std::string("0") + digits) > MAX_STEPS) {
            return refuse("STEPS must be at most " + std::to_string(MAX_STEPS) + ": '" + std::string(arg) + "'");
        }
        steps = std::stol(std::string("0") + digits);
    }

    const auto lattice = make_world();
    for (long i = 0; i < steps; ++i) lattice->step();
    return 0;
}
