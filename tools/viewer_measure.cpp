// viewer_measure: the viewer's idle CPU share while it repaints 40 times a second, and the time from
// a press of f (sent through XTest, so no helper program's start-up is counted) to the end of that
// step's report on a pipe. Runs on a private virtual X server, with the tests' process and X helpers.
//
// Usage: viewer-measure VIEWER [SECONDS] [PRESSES]
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <thread>
#include <string>
#include <vector>

#include "harness/process.h"
#include "harness/x_display.h"

namespace {

using namespace std::chrono_literals;

// User plus system CPU time of a process, in seconds.
double cpu_seconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string field;
    double ticks = 0;
    for (int i = 1; i <= 15 && stat >> field; ++i) {
        if (i == 14 || i == 15) ticks += std::stod(field);
    }
    return ticks / double(sysconf(_SC_CLK_TCK));
}

int refuse(const std::string& problem) {
    std::fprintf(stderr, "viewer-measure: %s\nusage: viewer-measure VIEWER [SECONDS] [PRESSES]\n", problem.c_str());
    return 2;
}

// The whole of text as a number within low..high.
template <typename Number>
bool parse(const char* text, Number low, Number high, Number& value) {
    const char* end = text + std::strlen(text);
    const auto [stop, error] = std::from_chars(text, end, value);
    return error == std::errc() && stop == end && value >= low && value <= high;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) return refuse("expected 1 to 3 arguments, got " + std::to_string(argc - 1));
    double seconds = 10;
    int presses = 100;
    if (argc > 2 && !parse(argv[2], 0.1, 3600.0, seconds)) return refuse("SECONDS must be from 0.1 to 3600");
    if (argc > 3 && !parse(argv[3], 1, 100000, presses)) return refuse("PRESSES must be a whole number from 1 to 100000");

    VirtualDisplay display;
    ChildProcess viewer({argv[1]}, {display.env()});
    std::vector<Window> windows;
    if (!wait_until([&] { return !(windows = find_windows(display.connection(), "World")).empty(); }, 20s)) {
        std::fprintf(stderr, "viewer-measure: no window titled World appeared\n");
        return 1;
    }
    Display* x = display.connection();
    XSetInputFocus(x, windows[0], RevertToParent, CurrentTime);
    XSync(x, False);
    std::this_thread::sleep_for(1s);  // let start-up settle; we measure the steady state

    const double cpu_before = cpu_seconds(viewer.pid);
    const auto wall_before = Clock::now();
    std::this_thread::sleep_for(Seconds(seconds));
    const double cpu = cpu_seconds(viewer.pid) - cpu_before;
    const double wall = Seconds(Clock::now() - wall_before).count();
    std::printf("idle, repainting 40 times a second: %.1f%% of one core (%.2f ms of CPU per frame)\n",
                100 * cpu / wall, 1000 * cpu / (wall * 40));

    const KeyCode f = XKeysymToKeycode(x, XK_f);
    std::vector<double> latencies;
    for (int i = 0; i < presses; ++i) {
        const auto start = Clock::now();
        XTestFakeKeyEvent(x, f, True, CurrentTime);
        XTestFakeKeyEvent(x, f, False, CurrentTime);
        XFlush(x);
        const size_t expected = static_cast<size_t>(i) + 1;
        if (!viewer.read_until([&](const std::string& out) { return count_reports(out) >= expected; }, 10s)) {
            std::fprintf(stderr, "viewer-measure: report %zu never came\n", expected);
            return 1;
        }
        latencies.push_back(1000 * Seconds(Clock::now() - start).count());
        std::this_thread::sleep_for(std::chrono::milliseconds(7));  // spread the presses over the frame
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("f to its report on a pipe, %d presses: median %.2f ms, 90%% %.2f ms, worst %.2f ms\n", presses,
                latencies[latencies.size() / 2], latencies[latencies.size() * 9 / 10], latencies.back());
    return 0;
}
