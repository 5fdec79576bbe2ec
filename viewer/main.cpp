// smoke-viewer: opens the window "World" and keeps it repainting 40 times a second.
#include <FL/Fl.H>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "common/standard_streams.h"
#include "common/world_options.h"
#include "viewer/world_window.h"

namespace {

constexpr float TIMER_PERIOD = 0.025f;  // seconds; also the tick's time step
constexpr const char* USAGE = "usage: smoke-viewer [world options] [toolkit options]";
constexpr const char* DESCRIPTION =
    "Opens the window \"World\" on the smoke lattice: drag with the left, middle and right buttons to\n"
    "orbit, zoom and pan; f steps the model and prints its report; q quits. The world options choose\n"
    "another world, as smoke-steps takes them; the toolkit's own options follow them.";

int refuse(const std::string& problem) {
    std::fprintf(stderr, "smoke-viewer: %s\n%s; 'smoke-viewer --help' lists them\n", problem.c_str(), USAGE);
    return 2;
}

int print(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
    return output_failed(stdout, "smoke-viewer", "to standard output") ? 1 : 0;
}

constexpr int RUN = -1;

// argv for the toolkit, pointing into args.
std::vector<char*> argument_vector(std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    return argv;
}

// The program's own options first, then the toolkit's from what is left: RUN, or the status to end
// with at once. Both are read before anything opens the display, so -display counts and a refusal
// needs none.
int parse(int argc, char** argv, World& world, std::vector<std::string>& toolkit_args) {
    CLI::App app(DESCRIPTION, "smoke-viewer");
    set_help_layout(app, USAGE);
    app.allow_extras();
    const WorldOptions world_options(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        return print(app.help() + "\ntoolkit options:\n" + Fl::help + "\n");
    } catch (const CLI::ParseError& e) {
        return refuse(e.what());
    }
    // The arguments left over, in their order, are the toolkit's.
    toolkit_args = {argv[0]};
    for (const std::string& extra : app.remaining()) toolkit_args.push_back(extra);
    std::vector<char*> toolkit_argv = argument_vector(toolkit_args);
    int toolkit_argc = int(toolkit_args.size()), i = 0;
    if (Fl::args(toolkit_argc, toolkit_argv.data(), i) < toolkit_argc) {
        return refuse(quoted_argument(toolkit_argv[std::size_t(i)]) +
                      " is not an option of the viewer or of the toolkit, or its value is missing");
    }
    std::string problem;
    const std::optional<World> configured = world_options.world(problem);
    if (!configured) return refuse(problem);
    world = *configured;
    if (world_options.print_scenario) return print(scenario_text(world));
    return RUN;
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
    World world;
    std::vector<std::string> toolkit_args;  // lives as long as the window: q ends the process from inside
    if (const int status = parse(argc, argv, world, toolkit_args); status != RUN) return status;
    std::vector<char*> toolkit_argv = argument_vector(toolkit_args);

    Fl::visual(FL_RGB);
    // Lives until the process ends; q exits without tearing it down.
    try {
        main_window = new WorldWindow(100, 100, 800, 600, "World", world);
    } catch (const std::bad_alloc&) {
        std::fputs("smoke-viewer: out of memory while building the world\n", stderr);
        return 1;
    }
    if (!main_window->can_do()) {
        const char* display = std::getenv("DISPLAY");
        std::fprintf(stderr, "smoke-viewer: the display %s has no usable OpenGL\n", display ? display : "(default)");
        return 1;
    }
    main_window->show(int(toolkit_argv.size()) - 1, toolkit_argv.data());
    Fl::add_timeout(0.0, on_timer, nullptr);
    const int status = Fl::run();
    return main_window->reports_lost ? 1 : status;
}
