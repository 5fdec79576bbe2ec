// smoke-viewer: opens the window "World" and keeps it repainting 40 times a second.
#include <FL/Fl.H>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <new>
#include <thread>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "common/command_line.h"
#include "common/standard_streams.h"
#include "common/run_options.h"
#include "common/world_options.h"
#include "viewer/world_window.h"

// Last: Xlib's macros (Success, None, Bool) would break the headers above.
#include <FL/x.H>

namespace {

constexpr double TIMER_PERIOD = 0.025;  // seconds
// What the toolkit and the renderer take once the world is built, whatever its size, as measured
// with Mesa's software renderer: its libraries and compiled shaders, a stack for each of its
// threads, and its buffers for a window of up to MAX_WINDOW_SIDE a side (colour, depth and the image
// sent to the X server, about 9 bytes a pixel).
constexpr std::uint64_t MEGABYTE = 1u << 20;
constexpr std::uint64_t RENDERER_BASE_BYTES = 240 * MEGABYTE;
constexpr std::uint64_t RENDERER_THREAD_BYTES = 16 * MEGABYTE;
constexpr unsigned MOST_RENDERER_THREADS = 32;
constexpr std::uint64_t WINDOW_BYTES_PER_PIXEL = 10;

std::uint64_t toolkit_and_renderer_bytes() {
    const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, MOST_RENDERER_THREADS);
    return RENDERER_BASE_BYTES + threads * RENDERER_THREAD_BYTES +
           std::uint64_t(MAX_WINDOW_SIDE) * MAX_WINDOW_SIDE * WINDOW_BYTES_PER_PIXEL;
}

constexpr const char* USAGE = "usage: smoke-viewer [--explore] [--threads N] [world options] [toolkit options]";
constexpr const char* DESCRIPTION =
    "Opens the window \"World\" on the smoke lattice: drag with the left, middle and right buttons to\n"
    "orbit, zoom and pan; f steps the model and prints its report; q quits. The world options choose\n"
    "another world, as smoke-steps takes them; the toolkit's own options follow them.\n"
    "With --explore, space plays and pauses, r resets to the seeded state, a left click selects a cell\n"
    "and prints its values, and the figures show over the scene.";

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

// The toolkit copies the window class, which -name sets, twice into a buffer of 1024 bytes when it
// shows the window: a longer one would overflow it.
constexpr std::size_t LONGEST_CLASS = 511;

// Whether argument names the toolkit option as the toolkit matches it: one dash, then at least
// shortest letters of the name, in either case.
bool is_toolkit_option(const char* argument, const char* name, std::size_t shortest) {
    if (argument[0] != '-') return false;
    const std::size_t length = std::strlen(argument + 1);
    if (length < shortest || length > std::strlen(name)) return false;
    for (std::size_t i = 0; i < length; ++i) {
        if (std::tolower(static_cast<unsigned char>(argument[1 + i])) != name[i]) return false;
    }
    return true;
}

// Why the toolkit stopped at argv[at]. It says only that it did; offered the same word with a value
// that every option of its own accepts, it tells those options (their value missing or bad) from
// words it does not know. What that second call sets does not matter: the refusal ends the program.
std::string toolkit_refusal(const std::vector<char*>& argv, int at) {
    const int argc = int(argv.size()) - 1;
    char any_value[] = "1x1";
    char* probe[] = {argv[0], argv[at], any_value, nullptr};
    int i = 1;
    if (Fl::arg(3, probe, i) != 2) {
        return quoted_argument(argv[at]) + " is not an option of the viewer or of the toolkit";
    }
    if (at + 1 >= argc) return quoted_argument(argv[at]) + " lacks its value";
    return quoted_argument(argv[at + 1]) + " is not a valid value of " + quoted_argument(argv[at]);
}

// Hands the toolkit its options one by one, as Fl::args would, and refuses what it cannot take
// safely: nothing when all is well.
std::optional<std::string> toolkit_problem(std::vector<char*>& argv) {
    const int argc = int(argv.size()) - 1;
    for (int i = 1; i < argc;) {
        const int at = i;
        if (Fl::arg(argc, argv.data(), i) == 0) return toolkit_refusal(argv, at);
        if (i - at != 2) continue;  // an option without a value
        const char* option = argv[at];
        const char* value = argv[at + 1];
        if (is_toolkit_option(option, "name", 2) && std::strlen(value) > LONGEST_CLASS) {
            return quoted_argument(option) + " takes a class name of at most 511 bytes, not " +
                   std::to_string(std::strlen(value));
        }
        // The toolkit would make "" into ":0.0", a display nobody named.
        if (is_toolkit_option(option, "display", 2) && !*value) {
            return quoted_argument(option) + " needs the name of a display, such as :0";
        }
    }
    return std::nullopt;
}

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
int parse(int argc, char** argv, Scenario& scenario, int& threads, bool& explore,
          std::vector<std::string>& toolkit_args) {
    CLI::App app(DESCRIPTION, "smoke-viewer");
    set_help_layout(app, USAGE);
    app.allow_extras();
    app.add_flag("--explore", explore, "play, pause, reset and pick cells, with the figures over the scene")
        ->disable_flag_override()
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    WorldOptions world_options(app);
    const RunOptions run_options(app);
    // A world the viewer cannot draw is refused here, with a message, rather than ended by the
    // renderer or the toolkit running out of memory halfway through a frame.
    world_options.extra_bytes_per_cell = WorldWindow::DRAWING_BYTES_PER_CELL;
    world_options.extra_bytes = toolkit_and_renderer_bytes();
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        return print(app.help() + "\ntoolkit options:\n" + Fl::help + "\n");
    } catch (const CLI::ParseError& e) {
        return refuse(command_line_problem(app, e));
    }
    // The arguments left over, in their order, are the toolkit's.
    toolkit_args = {argv[0]};
    for (const std::string& extra : app.remaining()) toolkit_args.push_back(extra);
    std::vector<char*> toolkit_argv = argument_vector(toolkit_args);
    if (const std::optional<std::string> problem = toolkit_problem(toolkit_argv)) return refuse(*problem);
    std::string problem;
    const std::optional<Scenario> configured = world_options.scenario(problem);
    if (!configured) return refuse(problem);
    scenario = *configured;
    const std::optional<int> thread_count = run_options.threads(problem);
    if (!thread_count) return refuse(problem);
    threads = *thread_count;
    if (world_options.print_scenario) return print(scenario_text(scenario));
    return RUN;
}

// The toolkit's warnings and errors, said as the program's own; a fatal one ends it with status 1.
void say_toolkit_message(const char* format, va_list arguments) {
    std::fputs("smoke-viewer: ", stderr);
    std::vfprintf(stderr, format, arguments);
    std::fputc('\n', stderr);
}

void toolkit_warning(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    say_toolkit_message(format, arguments);
    va_end(arguments);
}

[[noreturn]] void toolkit_fatal(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    say_toolkit_message(format, arguments);
    va_end(arguments);
    std::exit(1);
}

// Opens the display before the toolkit would, to say in the program's own words when it cannot: the
// toolkit's message names no program and, with DISPLAY unset, no display. The toolkit then takes
// this connection as its own: a server that resets when its last client leaves would otherwise
// reset between a probe closing and the toolkit connecting, and refuse the toolkit.
bool open_display() {
    if (Display* display = XOpenDisplay(nullptr)) {
        fl_open_display(display);
        return true;
    }
    const char* name = XDisplayName(nullptr);  // DISPLAY, as -display has set it
    if (*name) {
        std::fprintf(stderr, "smoke-viewer: cannot open the display %s\n", name);
    } else {
        std::fputs("smoke-viewer: cannot open a display: DISPLAY names none and -display was not given\n", stderr);
    }
    return false;
}

}  // namespace

// The timer callback's only way to the window.
WorldWindow* main_window = nullptr;

void on_timer(void* /*data*/) {
    if (main_window->tick()) main_window->redraw();
    // Counts from when this tick was due, not from now, so the rate does not drift.
    Fl::repeat_timeout(TIMER_PERIOD, on_timer, nullptr);
}

int main(int argc, char** argv) {
    // One heap for every thread: otherwise each renderer thread reserves 64 MB of address space for
    // a heap of its own, which counts against a limit on it and grows with the machine's cores.
    mallopt(M_ARENA_MAX, 1);
    if (!reserve_standard_descriptors()) {
        std::fprintf(stderr, "smoke-viewer: cannot open descriptors 0 to 2: %s\n", std::strerror(errno));
        return 1;
    }
    Scenario scenario;
    int threads = 1;
    bool explore = false;
    std::vector<std::string> toolkit_args;  // lives as long as the window: q ends the process from inside
    if (const int status = parse(argc, argv, scenario, threads, explore, toolkit_args); status != RUN) return status;
    std::vector<char*> toolkit_argv = argument_vector(toolkit_args);
    Fl::warning = toolkit_warning;
    Fl::error = toolkit_warning;
    Fl::fatal = toolkit_fatal;
    if (!open_display()) return 1;

    Fl::visual(FL_RGB);
    // Lives until the process ends; q exits without tearing it down.
    WorldFrame* frame = nullptr;
    try {
        frame = new WorldFrame(100, 100, FIRST_WIDTH, FIRST_HEIGHT, "World", scenario, explore);
    } catch (const std::bad_alloc&) {
        std::fputs("smoke-viewer: out of memory while building the world\n", stderr);
        return 1;
    }
    main_window = frame->view;
    main_window->explorer().set_threads(threads);
    if (!main_window->can_do()) {
        std::fprintf(stderr, "smoke-viewer: the display %s has no usable OpenGL\n", XDisplayName(nullptr));
        return 1;
    }
    frame->show(int(toolkit_argv.size()) - 1, toolkit_argv.data());
    Fl::add_timeout(0.0, on_timer, nullptr);
    const int status = Fl::run();
    return main_window->reports_lost() ? 1 : status;
}
