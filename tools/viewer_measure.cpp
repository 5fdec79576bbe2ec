// viewer_measure: the viewer's idle CPU share while it repaints 40 times a second, the time from a
// press of f (sent through XTest, so no helper program's start-up is counted) to the end of that
// step's report on a pipe, and the time from a move of the pointer in a left drag to the first
// frame that shows the camera turned. Runs on a private virtual X server, with the harness.
//
// Usage: viewer-measure VIEWER [SECONDS] [PRESSES] [-- VIEWER OPTIONS...]
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
    std::fprintf(stderr, "viewer-measure: %s\nusage: viewer-measure VIEWER [SECONDS] [PRESSES] [-- VIEWER OPTIONS...]\n",
                 problem.c_str());
    return 2;
}

// The whole of text as a number within low..high.
template <typename Number>
bool parse(const char* text, Number low, Number high, Number& value) {
    const char* end = text + std::strlen(text);
    const auto [stop, error] = std::from_chars(text, end, value);
    return error == std::errc() && stop == end && value >= low && value <= high;
}

struct Percentiles {
    double median, ninety, worst;
};

Percentiles percentiles(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values[values.size() * 9 / 10], values.back()};
}

}  // namespace

int main(int argc, char** argv) {
    // The viewer's own options follow "--".
    int own = 1;
    while (own < argc && std::strcmp(argv[own], "--") != 0) ++own;
    std::vector<std::string> command(argv + 1, argv + std::min(own, 2));
    if (own < argc) command.insert(command.end(), argv + own + 1, argv + argc);
    if (own < 2 || own > 4) return refuse("expected 1 to 3 arguments before --, got " + std::to_string(own - 1));
    double seconds = 10;
    int presses = 100;
    if (own > 2 && !parse(argv[2], 0.1, 3600.0, seconds)) return refuse("SECONDS must be from 0.1 to 3600");
    if (own > 3 && !parse(argv[3], 1, 100000, presses)) return refuse("PRESSES must be a whole number from 1 to 100000");

    VirtualDisplay display;
    ChildProcess viewer(command, {display.env()});
    std::vector<Window> windows;
    if (!wait_until([&] { return !(windows = find_windows(display.connection(), "World")).empty(); }, 20s)) {
        std::fprintf(stderr, "viewer-measure: no window titled World appeared\n");
        return 1;
    }
    Display* x = display.connection();
    XSetInputFocus(x, windows[0], RevertToParent, CurrentTime);
    XSync(x, False);
    std::this_thread::sleep_for(2s);  // let start-up settle; we measure the steady state

    const double cpu_before = cpu_seconds(viewer.pid);
    const auto wall_before = Clock::now();
    std::this_thread::sleep_for(Seconds(seconds));
    const double cpu = cpu_seconds(viewer.pid) - cpu_before;
    const double wall = Seconds(Clock::now() - wall_before).count();
    std::printf("idle: %.1f%% of one core (%.2f ms of CPU per tick of 40 a second)\n", 100 * cpu / wall,
                1000 * cpu / (wall * 40));

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
    const Percentiles keys = percentiles(latencies);
    std::printf("f to its report on a pipe, %d presses: median %.2f ms, 90%% %.2f ms, worst %.2f ms\n", presses,
                keys.median, keys.ninety, keys.worst);

    // A left drag held at the window's centre, the pointer moved 20 pixels back and forth: each move
    // turns the camera, and the time runs until a captured frame differs from the one before it.
    // Capturing takes milliseconds of its own, so the figures are an upper bound.
    int left = 0, top = 0;
    Window child;
    XTranslateCoordinates(x, windows[0], DefaultRootWindow(x), 0, 0, &left, &top, &child);
    const Screenshot first = capture(x, windows[0]);
    const int centre_x = left + first.w / 2, centre_y = top + first.h / 2;
    XTestFakeMotionEvent(x, -1, centre_x, centre_y, CurrentTime);
    XTestFakeButtonEvent(x, 1, True, CurrentTime);
    XSync(x, False);
    std::this_thread::sleep_for(100ms);
    std::vector<double> drags;
    for (int i = 0; i < 20; ++i) {
        const Screenshot before = capture(x, windows[0]);
        const auto start = Clock::now();
        XTestFakeMotionEvent(x, -1, centre_x + (i % 2 == 0 ? 20 : 0), centre_y, CurrentTime);
        XFlush(x);
        while (capture(x, windows[0]).pixels == before.pixels) {
            if (Clock::now() - start > 10s) {
                std::fprintf(stderr, "viewer-measure: drag %d never showed\n", i + 1);
                return 1;
            }
        }
        drags.push_back(1000 * Seconds(Clock::now() - start).count());
    }
    XTestFakeButtonEvent(x, 1, False, CurrentTime);
    XSync(x, False);
    const Percentiles turns = percentiles(drags);
    std::printf("a drag's move to the frame that shows it, 20 moves: median %.0f ms, 90%% %.0f ms, worst %.0f ms\n",
                turns.median, turns.ninety, turns.worst);
    return 0;
}
