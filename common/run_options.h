// Settings of a run rather than of its world. They change how fast a run goes, never what it
// computes, so scenario files do not hold them and --print-scenario does not print them.
#pragma once

#include <optional>
#include <string>

namespace CLI {
class App;
}

// The most worker threads a step may be given: far beyond any machine's use for one lattice, and
// low enough that a slip of the keyboard cannot start thousands.
constexpr int MOST_THREADS = 256;

class RunOptions {
public:
    // Adds --threads, listed under "run options" in --help.
    explicit RunOptions(CLI::App& app);

    // After parsing: the threads a step may use, by default the cores this process may run on (at
    // most MOST_THREADS). On a value that is not a whole number from 1 to MOST_THREADS, nothing,
    // and problem says why.
    std::optional<int> threads(std::string& problem) const;

private:
    std::optional<std::string> threads_;
};

// The cores this process may run on (its affinity, which a container or taskset narrows), at least 1.
int available_cores();
