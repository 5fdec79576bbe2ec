// Runs child processes for the tests of the programs: to completion, or alongside the test. Every
// child is tied to the test process: it is killed when the test process ends, however it ends.
#pragma once

#include <sys/types.h>

#include <array>
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

// What a child's standard descriptor i is: a descriptor of the test's, DEV_NULL, or CLOSED.
constexpr int DEV_NULL = -1;
constexpr int CLOSED = -2;

// Starts argv[0] (a path) with descriptors 0..2 as given, descriptor keep (if not -1) passed on as
// descriptor 3 and no other. extra_env entries ("NAME=value") replace or add to the test's own
// environment. Throws when it cannot start.
pid_t spawn_tied(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env,
                 std::array<int, 3> standard, int keep = -1);

// Runs argv[0] (a path) with the given arguments and an empty standard input, waiting at most limit
// for it to end: a program still running then is killed, and its result has status -1 and a line
// saying so at the end of err. Well within the tests' CTest timeout, so that a hang is named.
ProcessResult run_process(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env = {},
                          Seconds limit = Seconds(60));

// How many times what occurs in text, without overlaps.
size_t count_of(const std::string& text, const std::string& what);

// Reports in a program's output: each ends with an empty line.
inline size_t count_reports(const std::string& out) { return count_of(out, "\n\n"); }

// Polls condition until it holds or the timeout passes; true when it held.
bool wait_until(const std::function<bool()>& condition, Seconds timeout);

// A program running beside the test, its standard output and error on pipes the test reads. Killed
// when the object goes, if it still runs.
class ChildProcess {
public:
    // extra_env as for spawn_tied; with close_stdout the program starts with descriptor 1 closed.
    ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env,
                 bool close_stdout = false);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Reads what has arrived until the output satisfies condition or the timeout passes.
    bool read_until(const std::function<bool(const std::string&)>& condition, Seconds timeout);
    // The exit status (as in ProcessResult) once the process has ended, or nothing at the timeout.
    std::optional<int> wait_exit(Seconds timeout);

    pid_t pid = -1;
    std::string out;  // standard output so far
    std::string err;  // standard error so far

private:
    // Reads whatever either pipe has within timeout_ms; false when nothing came.
    bool read_some(int timeout_ms);
    int fds_[2] = {-1, -1};  // standard output, standard error
    std::optional<int> status_;
};
