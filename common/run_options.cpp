#include "common/run_options.h"

#include <sched.h>

#include <algorithm>
#include <thread>

#include <CLI/CLI.hpp>

#include "common/command_line.h"
#include "common/standard_streams.h"

RunOptions::RunOptions(CLI::App& app) {
    app.add_option("--threads", threads_, "worker threads for each step (default: this machine's cores)")
        ->type_name("N")
        ->group("run options");
}

std::optional<int> RunOptions::threads(std::string& problem) const {
    if (!threads_) return std::min(available_cores(), MOST_THREADS);
    const std::optional<int> n = parse_number<int>(*threads_);
    if (!n || *n < 1 || *n > MOST_THREADS) {
        problem = "--threads must be a whole number from 1 to " + std::to_string(MOST_THREADS) + ", not " +
                  quoted_argument(threads_->c_str());
        return std::nullopt;
    }
    return n;
}

int available_cores() {
#ifdef __linux__
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        const int count = CPU_COUNT(&set);
        if (count > 0) return count;
    }
#endif
    return int(std::max(1u, std::thread::hardware_concurrency()));
}
