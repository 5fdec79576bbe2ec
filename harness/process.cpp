#include "harness/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace {

int decode_status(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

// The test's environment with the extra "NAME=value" entries replacing any of the same name.
std::vector<std::string> environment_with(const std::vector<std::string>& extra) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string prefix = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const auto& x : extra) replaced = replaced || x.rfind(prefix, 0) == 0;
        if (!replaced) env.push_back(entry);
    }
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> result;
    for (auto& t : texts) result.push_back(t.data());
    result.push_back(nullptr);
    return result;
}

// Between fork and exec: async-signal-safe calls only.
[[noreturn]] void become_child(char* const* argv, char* const* envp, std::array<int, 3> standard, int keep,
                               pid_t parent) {
    // Dies with the test process, even when that crashes or is killed.
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) _exit(127);
    // Out of the way of 0..3 first, so that no dup2 below overwrites a source still needed.
    int sources[4];
    for (int i = 0; i < 4; ++i) {
        const int fd = i < 3 ? standard[i] : keep;
        sources[i] = fd >= 0 ? fcntl(fd, F_DUPFD, 10) : fd;
    }
    for (int i = 0; i < 4; ++i) {
        if (sources[i] >= 0) {
            dup2(sources[i], i);
        } else if (sources[i] == DEV_NULL) {
            const int null_fd = open("/dev/null", i == 0 ? O_RDONLY : O_WRONLY);
            dup2(null_fd, i);
            if (null_fd != i) close(null_fd);
        } else {
            close(i);
        }
    }
    close_range(keep >= 0 ? 4 : 3, ~0U, 0);
    execve(argv[0], argv, envp);
    _exit(127);
}

}  // namespace

pid_t spawn_tied(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env,
                 std::array<int, 3> standard, int keep) {
    std::vector<std::string> args = argv, env = environment_with(extra_env);
    const std::vector<char*> arg_pointers = pointers(args), env_pointers = pointers(env);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("cannot start " + argv[0]);
    if (pid == 0) become_child(arg_pointers.data(), env_pointers.data(), standard, keep == -1 ? CLOSED : keep, parent);
    return pid;
}

ProcessResult run_process(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env,
                          Seconds limit) {
    ChildProcess child(argv, extra_env);  // kills the program on the way out if it still runs
    const std::optional<int> status = child.wait_exit(limit);
    ProcessResult result;
    result.status = status.value_or(-1);
    result.out = child.out;
    result.err = child.err;
    if (!status) {
        char line[200];
        std::snprintf(line, sizeof line, " was still running after %g s: killed\n", limit.count());
        result.err += argv[0] + line;
    }
    return result;
}

size_t count_of(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

bool wait_until(const std::function<bool()>& condition, Seconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env,
                           bool close_stdout) {
    int out_pipe[2], err_pipe[2];
    if (pipe2(out_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    if (pipe2(err_pipe, O_CLOEXEC) != 0) {
        close(out_pipe[0]);
        close(out_pipe[1]);
        throw std::runtime_error("pipe failed");
    }
    try {
        pid = spawn_tied(argv, extra_env, {DEV_NULL, close_stdout ? CLOSED : out_pipe[1], err_pipe[1]});
    } catch (...) {
        for (int fd : {out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]}) close(fd);
        throw;
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    fds_[0] = out_pipe[0];
    fds_[1] = err_pipe[0];
}

ChildProcess::~ChildProcess() {
    if (!status_ && pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    for (int fd : fds_) {
        if (fd >= 0) close(fd);
    }
}

bool ChildProcess::read_some(int timeout_ms) {
    pollfd polled[2] = {{fds_[0], POLLIN, 0}, {fds_[1], POLLIN, 0}};  // poll skips a negative fd
    if (poll(polled, 2, timeout_ms) <= 0) return false;
    std::string* sinks[2] = {&out, &err};
    bool got = false;
    for (int i = 0; i < 2; ++i) {
        if (polled[i].revents == 0) continue;
        char buffer[65536];
        const ssize_t n = read(fds_[i], buffer, sizeof buffer);
        if (n > 0) {
            sinks[i]->append(buffer, static_cast<size_t>(n));
            got = true;
        } else {
            close(fds_[i]);
            fds_[i] = -1;
        }
    }
    return got;
}

bool ChildProcess::read_until(const std::function<bool(const std::string&)>& condition, Seconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!condition(out)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        if (fds_[0] < 0 && fds_[1] < 0) return condition(out);
        read_some(static_cast<int>(left.count()));
    }
    return true;
}

std::optional<int> ChildProcess::wait_exit(Seconds timeout) {
    if (status_) return status_;
    const auto deadline = Clock::now() + timeout;
    // Both pipes first: a child blocked on a full pipe would never end.
    while ((fds_[0] >= 0 || fds_[1] >= 0) && Clock::now() < deadline) read_some(20);
    wait_until(
        [&] {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) != pid) return false;
            status_ = decode_status(status);
            return true;
        },
        Seconds(std::max(0.0, Seconds(deadline - Clock::now()).count())));
    return status_;
}
