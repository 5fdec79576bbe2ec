// Runs a child process to completion and collects what it wrote, for tests of the command-line tools.
#pragma once

#include <string>
#include <vector>

struct ProcessResult {
    int status = -1;  // exit status, or 128 + signal number when killed by a signal
    std::string out;
    std::string err;
};

// Runs argv[0] (a path) with the given arguments and an empty standard input.
ProcessResult run_process(const std::vector<std::string>& argv);
