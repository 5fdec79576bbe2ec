// Runs child processes for the tests of the programs: to completion, or alongside the test.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

struct ProcessResult {
    int status = -1;  // exit status, or 128 + signal number when killed by a signal
    std::string out;
    std::string err;
};

// Runs argv[0] (a path) with the given arguments and an empty standard input; extra_env entries
// ("NAME=value") are added to the test's own environment.
ProcessResult run_process(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env = {});

// How many times what occurs in text, without overlaps.
size_t count_of(const std::string& text, const std::string& what);

// Reports in a program's output: each ends with an empty line.
inline size_t count_reports(const std::string& out) { return count_of(out, "\n\n"); }

// Polls condition until it holds or the timeout passes; true when it held.
bool wait_until(const std::function<bool()>& condition, Seconds timeout);

// A program running beside the test, its standard output on a pipe the test reads. Killed when the
// object goes, if it still runs.
class ChildProcess {
public:
    // extra_env entries ("NAME=value") are added to the test's own environment.
    ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Reads what has arrived until the output satisfies condition or the timeout passes.
    bool read_until(const std::function<bool(const std::string&)>& condition, Seconds timeout);
    // The exit status (as in ProcessResult) once the process has ended, or nothing at the timeout.
    std::optional<int> wait_exit(Seconds timeout);

    pid_t pid = -1;
    std::string out;  // standard output so far

private:
    bool read_some(int timeout_ms);
    int out_fd_ = -1;
    std::optional<int> status_;
};
