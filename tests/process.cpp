#include "process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>

extern char** environ;

namespace {

int decode_status(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

// Spawns argv with stdin from /dev/null and the given descriptors as stdout and stderr.
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

pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env, int out_fd,
            int err_fd, const std::vector<int>& close_fds) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out_fd, 1);
    posix_spawn_file_actions_adddup2(&actions, err_fd, 2);
    for (int fd : close_fds) posix_spawn_file_actions_addclose(&actions, fd);

    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> env = environment_with(extra_env);
    std::vector<char*> envp;
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    pid_t pid = -1;
    const int error = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) throw std::runtime_error("cannot start " + argv[0]);
    return pid;
}

}  // namespace

ProcessResult run_process(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env) {
    int out_pipe[2], err_pipe[2];
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid =
        spawn(argv, extra_env, out_pipe[1], err_pipe[1], {out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]});
    close(out_pipe[1]);
    close(err_pipe[1]);

    ProcessResult result;
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open_count = 2;
    char buffer[65536];
    while (open_count > 0) {
        if (poll(fds, 2, -1) < 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_count;
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = decode_status(status);
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

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env) {
    int out_pipe[2];
    if (pipe(out_pipe) != 0) throw std::runtime_error("pipe failed");
    pid = spawn(argv, extra_env, out_pipe[1], 2, {out_pipe[0], out_pipe[1]});
    close(out_pipe[1]);
    out_fd_ = out_pipe[0];
}

ChildProcess::~ChildProcess() {
    if (!status_ && pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    if (out_fd_ >= 0) close(out_fd_);
}

bool ChildProcess::read_some(int timeout_ms) {
    if (out_fd_ < 0) return false;
    pollfd fd = {out_fd_, POLLIN, 0};
    if (poll(&fd, 1, timeout_ms) <= 0) return false;
    char buffer[65536];
    const ssize_t n = read(out_fd_, buffer, sizeof buffer);
    if (n <= 0) {
        close(out_fd_);
        out_fd_ = -1;
        return false;
    }
    out.append(buffer, static_cast<size_t>(n));
    return true;
}

bool ChildProcess::read_until(const std::function<bool(const std::string&)>& condition, Seconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!condition(out)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        if (!read_some(static_cast<int>(left.count())) && out_fd_ < 0) return condition(out);
    }
    return true;
}

std::optional<int> ChildProcess::wait_exit(Seconds timeout) {
    if (status_) return status_;
    const bool ended = wait_until(
        [&] {
            while (read_some(0)) {
            }
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) != pid) return false;
            status_ = decode_status(status);
            return true;
        },
        timeout);
    if (ended) {
        while (read_some(0)) {
        }
    }
    return status_;
}
