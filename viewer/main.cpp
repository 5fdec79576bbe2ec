// smoke-viewer: opens the window "World" and keeps it repainting 40 times a second.
#include <FL/Fl.H>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/standard_streams.h"
#include "viewer/world_window.h"

namespace {

constexpr float TIMER_PERIOD = 0.025f;  // seconds; also the tick's time step
constexpr const char* USAGE = "usage: smoke-viewer [toolkit options]\n";

// -h and --help: the usage and the toolkit's own options, then the program ends.
int help_option(int /*argc*/, char** argv, int& i) {
    if (std::strcmp(argv[i], "-h") != 0 && std::strcmp(argv[i], "--help") != 0) return 0;
    std::fputs(USAGE, stdout);
    std::fputs("toolkit options:\n", stdout);
    std::fputs(Fl::help, stdout);
    std::fflush(stdout);
    std::exit(output_failed(stdout, "smoke-viewer", "to standard output") ? 1 : 0);
}

int refuse(const char* argument) {
    std::fprintf(stderr,
                 "smoke-viewer: %s is not a toolkit option, or its value is missing\n"
                 "usage: smoke-viewer [toolkit options]; 'smoke-viewer --help' lists them\n",
                 quoted_argument(argument).c_str());
    return 2;
}

}  // namespace

// The timer callback's only way to the window.
WorldWindow* main_window = nullptr;

void on_timer(void* /*data*/) {
    main_window->tick(TIMER_PERIOD);
    main_window->redraw();
    // Counts from when this tick was due, not from now, so the rate does not drift.
    Fl::repeat_timeout(TIMER_PERIOD, on_timer, nullptr);
}

int main(int argc, char** argv) {
    reserve_standard_descriptors();
    // The toolkit's options first: -display must be known before anything opens the display.
    int i = 0;
    if (Fl::args(argc, argv, i, help_option) < argc) return refuse(argv[i]);

    Fl::visual(FL_RGB);
    // Lives until the process ends; q exits without tearing it down.
    main_window = new WorldWindow(100, 100, 800, 600, "World");
    if (!main_window->can_do()) {
        const char* display = std::getenv("DISPLAY");
        std::fprintf(stderr, "smoke-viewer: the display %s has no usable OpenGL\n", display ? display : "(default)");
        return 1;
    }
    main_window->show(argc, argv);
    Fl::add_timeout(0.0, on_timer, nullptr);
    const int status = Fl::run();
    return main_window->reports_lost ? 1 : status;
}
