// The page's way into the core: explore mode's state (Explorer), the camera's arithmetic and the
// command line's parser, behind a few C functions that the page's JavaScript calls. What the desktop
// viewer's window does with its events, this does with the page's; the page only draws.
#include <emscripten/emscripten.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "common/command_line.h"
#include "common/float_text.h"
#include "common/scenario_file.h"
#include "common/world_options.h"
#include "viewer/camera.h"
#include "viewer/colours.h"
#include "viewer/explore.h"
#include "viewer/overlay_layout.h"
#include "viewer/placement.h"

namespace {

constexpr const char* USAGE = "usage: the page's address takes the world options as ?option=value&...";
constexpr const char* DESCRIPTION =
    "The explore viewer on the smoke lattice: drag with the left, middle and right buttons to orbit,\n"
    "zoom and pan; f steps the model, space plays and pauses, r resets, a click selects a cell; in a\n"
    "world with a flow v shows the speed, p puffs smoke into the selected cell and o makes it an\n"
    "obstacle. The world options choose another world, as smoke-steps takes them.";

// The same keys as the desktop viewer's, by character.
constexpr int KEY_STEP = 'f';
constexpr int KEY_PLAY = ' ';
constexpr int KEY_RESET = 'r';
constexpr int KEY_VIEW = 'v';
constexpr int KEY_PUFF = 'p';
constexpr int KEY_OBSTACLE = 'o';

// The desktop's buttons: a press and release this close, with no drag beyond it, is a click.
constexpr int LEFT = 0, MIDDLE = 1, RIGHT = 2;
constexpr int CLICK_TOLERANCE = 3;

// A point as the page draws it: where, its colour as it shows (lit and clamped), its size.
struct PagePoint {
    float x, y, z, r, g, b, size;
};

struct Page {
    std::unique_ptr<Explorer> explorer;
    std::string output;  // what the desktop viewer would have printed since the page last took it
    View view{};
    int w = FIRST_WIDTH, h = FIRST_HEIGHT;
    int button = -1;  // the button held, if any
    int press_x = 0, press_y = 0, mouse_x = 0, mouse_y = 0;
    bool press_moved = false;
    CameraPose press_camera = DEFAULT_CAMERA;
    std::vector<PagePoint> points;
    unsigned long points_changes = 0;
    bool points_built = false;
    std::vector<double> camera_figures;
    std::optional<FontMetrics> font;  // the overlay's, once laid out
};

// Fetched scenarios are written under their own names into a folder of their own, where no name
// meets one of the system's (dev, tmp, proc).
[[maybe_unused]] const bool in_own_folder = [] {
    mkdir("/scenarios", 0755);
    return chdir("/scenarios") == 0;
}();

Page page;
std::string answer;  // the text a function last returned, alive until the next one

const char* give(std::string text) {
    answer = std::move(text);
    return answer.c_str();
}

bool within_click(int x, int y) {
    return std::abs(x - page.press_x) <= CLICK_TOLERANCE && std::abs(y - page.press_y) <= CLICK_TOLERANCE;
}

void update_camera() {
    const Drag drag = {page.press_x - page.mouse_x, page.press_y - page.mouse_y, page.w, page.h};
    if (page.button == LEFT) page.view.camera = orbit(page.press_camera, drag);
    if (page.button == MIDDLE) page.view.camera = zoom(page.press_camera, drag);
    if (page.button == RIGHT) page.view.camera = pan(page.press_camera, page.view.camera.azimuth, drag);
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string json_colour(const Colour& c) {
    return "[" + shortest_text(c.r) + "," + shortest_text(c.g) + "," + shortest_text(c.b) + "]";
}

}  // namespace

extern "C" {

// Builds the world from the command line's arguments, one a line, without the program's name.
// 0: the world runs; 1: a text to show instead (--help, --print-scenario), in smoke_answer(); 2: a
// refusal, its one line in smoke_answer().
EMSCRIPTEN_KEEPALIVE int smoke_open(const char* arguments) {
    // The world that ran goes first, with its points: the page shows none while another opens, and
    // the new one may need the memory.
    page.explorer.reset();
    std::vector<PagePoint>().swap(page.points);  // its memory too, which clear() would keep
    page.points_built = false;
    std::vector<std::string> args = split_lines(arguments);
    std::vector<char*> argv = {const_cast<char*>("smoke-page")};
    for (std::string& arg : args) argv.push_back(arg.data());
    CLI::App app(DESCRIPTION, "smoke-page");
    set_help_layout(app, USAGE);
    WorldOptions world_options(app);
    world_options.extra_bytes_per_cell = sizeof(PagePoint);
    try {
        app.parse(int(argv.size()), argv.data());
    } catch (const CLI::CallForHelp&) {
        give(app.help());
        return 1;
    } catch (const CLI::ParseError& e) {
        give(command_line_problem(app, e));
        return 2;
    }
    std::string problem;
    const std::optional<Scenario> scenario = world_options.scenario(problem);
    if (!scenario) {
        give(problem);
        return 2;
    }
    if (world_options.print_scenario) {
        give(scenario_text(*scenario));
        return 1;
    }
    try {
        page.explorer = std::make_unique<Explorer>(*scenario, true, [](const std::string& text) { page.output += text; });
        const Extent extent = page.explorer->model().extent();
        page.points.reserve(std::size_t(extent.columns) * extent.rows * extent.planes);
    } catch (const std::bad_alloc&) {
        page.explorer.reset();
        give("out of memory while building the world");
        return 2;
    }
    const Extent extent = page.explorer->model().extent();
    page.view = initial_view(extent.columns, extent.rows, extent.planes);
    page.button = -1;
    page.points_built = false;
    give("");
    return 0;
}

EMSCRIPTEN_KEEPALIVE const char* smoke_answer() { return answer.c_str(); }

// The scenario as a file (--print-scenario's text), of the world that runs.
EMSCRIPTEN_KEEPALIVE const char* smoke_scenario_text() { return give(scenario_text(page.explorer->model().scenario())); }

// Writes the length bytes at data as a file into the page's memory, where --scenario can read it,
// NUL bytes and all. 0 on success.
EMSCRIPTEN_KEEPALIVE int smoke_put_file(const char* path, const char* data, int length) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(data, length);
    return file.good() ? 0 : 1;
}

EMSCRIPTEN_KEEPALIVE void smoke_resize(int w, int h) {
    page.w = w;
    page.h = h;
}

// A key, by its character; others do nothing, as on the desktop.
EMSCRIPTEN_KEEPALIVE void smoke_key(int key) {
    Explorer& e = *page.explorer;
    if (key == KEY_STEP) e.step();
    if (key == KEY_PLAY) e.toggle_play(Explorer::Clock::now());
    if (key == KEY_RESET) e.reset();
    if (key == KEY_VIEW) e.toggle_view();
    if (key == KEY_PUFF) e.puff();
    if (key == KEY_OBSTACLE) e.toggle_obstacle();
}

// A frame: the drag moves the camera, a world that plays steps once. Answers whether it plays.
EMSCRIPTEN_KEEPALIVE int smoke_tick() {
    if (page.button != -1) update_camera();
    page.explorer->tick(Explorer::Clock::now());
    return page.explorer->playing() ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE void smoke_press(int button, int x, int y) {
    page.button = button;
    page.press_x = page.mouse_x = x;
    page.press_y = page.mouse_y = y;
    page.press_moved = false;
    page.press_camera = page.view.camera;
}

EMSCRIPTEN_KEEPALIVE void smoke_move(int x, int y) {
    if (page.button == -1) return;
    page.mouse_x = x;
    page.mouse_y = y;
    page.press_moved = page.press_moved || !within_click(x, y);
    update_camera();
}

// A left click selects what its pixel shows, and leaves the camera where the press found it; one
// on a panel of the overlay last laid out selects nothing, as the desktop's.
EMSCRIPTEN_KEEPALIVE void smoke_release(int x, int y) {
    if (page.button == -1) return;
    if (page.button == LEFT && !page.press_moved && within_click(x, y)) {
        page.view.camera = page.press_camera;
        page.explorer->click(page.view, page.w, page.h, page.press_x, page.press_y, page.font);
    } else {
        page.mouse_x = x;
        page.mouse_y = y;
        update_camera();
    }
    page.button = -1;
}

// Takes what the desktop viewer would have printed since the last call: reports, cell lines, puffs.
EMSCRIPTEN_KEEPALIVE const char* smoke_take_output() {
    give(page.output);
    page.output.clear();
    return answer.c_str();
}

// The points, rebuilt only when the cells may have changed: smoke_point_count() of them at
// smoke_point_data(), seven floats each (x, y, z, red, green, blue, size), in the cells' order.
EMSCRIPTEN_KEEPALIVE int smoke_point_count() {
    const Explorer& e = *page.explorer;
    if (page.points_built && page.points_changes == e.changes()) return int(page.points.size());
    page.points.clear();
    const Model& model = e.model();
    const Extent extent = model.extent();
    const PointView view = e.points();
    const double speed_top = e.speed_top();
    for (int plane = 0; plane < extent.planes; ++plane)
        for (int row = 0; row < extent.rows; ++row)
            for (int column = 0; column < extent.columns; ++column) {
                const Place place{column, row, plane};
                const CellMark mark = shown_mark(model, place, view);
                if (mark == CellMark::NONE) continue;
                Colour colour = mark == CellMark::SOLID ? SOLID_COLOUR : MARKER_COLOUR;
                if (mark == CellMark::SMOKE) {
                    colour = view == PointView::SPEED ? speed_colour(model.speed(place).value_or(0), speed_top)
                                                      : smoke_colour(model.smoke(place));
                }
                colour = as_shown(colour);
                const Point p = cell_point(extent.columns, extent.rows, column, row, plane);
                page.points.push_back({float(p.x), float(p.y), float(p.z), colour.r, colour.g, colour.b,
                                       float(point_size(mark))});
            }
    page.points_changes = e.changes();
    page.points_built = true;
    return int(page.points.size());
}

EMSCRIPTEN_KEEPALIVE const float* smoke_point_data() { return page.points.empty() ? nullptr : &page.points[0].x; }

// The view as twelve figures: the eye (x, y, z), the pivot (x, y, z), the vertical field of view in
// degrees, the aspect ratio, the near and far planes, and the selected cell's pixel (x, y; NaN when
// there is none, or it is not drawn).
EMSCRIPTEN_KEEPALIVE const double* smoke_camera() {
    const CameraPose& c = page.view.camera;
    const Point eye = eye_position(c);
    double x = NAN, y = NAN;
    if (const std::optional<Place>& selected = page.explorer->selected()) {
        const Extent extent = page.explorer->model().extent();
        const Point p = cell_point(extent.columns, extent.rows, selected->column, selected->row, selected->plane);
        const WindowPoint q = project(c, page.w, page.h, p);
        if (q.depth > page.view.near_plane && q.depth < page.view.far_plane) {
            x = std::floor(q.x);
            y = std::floor(q.y);
        }
    }
    page.camera_figures = {eye.x,
                           eye.y,
                           eye.z,
                           c.target_x,
                           c.target_y,
                           PIVOT_Z,
                           fovy_degrees(page.w, page.h),
                           aspect_ratio(page.w, page.h),
                           page.view.near_plane,
                           page.view.far_plane,
                           x,
                           y};
    return page.camera_figures.data();
}

// Explore mode's overlay as the desktop lays it out for a font of these measures (every glyph
// cell_width wide), as JSON: each panel's box [x, y, w, h] and its labels [text, x, baseline]; the
// legend's bar, the smoke's full green, its ticks, swatches and colours as they show. The page has no
// q to quit, so the keys leave it out.
EMSCRIPTEN_KEEPALIVE const char* smoke_overlay(int cell_width, int ascent, int descent) {
    FontMetrics font;
    font.cell_width = cell_width;
    font.ascent = ascent;
    font.descent = descent;
    font.advance.fill(cell_width);
    page.font = font;
    const OverlayLayout layout = page.explorer->overlay(font, page.w, page.h);
    const auto box = [](const Box& b) {
        return "[" + std::to_string(b.x) + "," + std::to_string(b.y) + "," + std::to_string(b.w) + "," +
               std::to_string(b.h) + "]";
    };
    const auto labels = [](const std::vector<Label>& list) {
        std::string text = "[";
        for (const Label& label : list) {
            std::string words = label.text;
            const std::string quit = "   q quit";
            if (words.size() > quit.size() && words.compare(words.size() - quit.size(), quit.size(), quit) == 0) {
                words.erase(words.size() - quit.size());
            }
            std::string quoted;
            for (const char c : words) {
                if (c == '"' || c == '\\') quoted += '\\';
                quoted += c;
            }
            text += (text.size() > 1 ? "," : "") + std::string("[\"") + quoted + "\"," + std::to_string(label.x) + "," +
                    std::to_string(label.baseline) + "]";
        }
        return text + "]";
    };
    const auto panel = [&](const std::optional<TextPanel>& p) {
        return p ? "{\"box\":" + box(p->panel) + ",\"labels\":" + labels(p->labels) + "}" : std::string("null");
    };
    std::string legend = "null";
    if (const std::optional<Legend>& l = layout.legend) {
        std::string map;
        for (std::size_t i = 0; i < SPEED_MAP.size(); ++i) {
            map += (i ? "," : "") + json_colour(speed_map(double(i) / double(SPEED_MAP.size() - 1)));
        }
        legend = "{\"box\":" + box(l->panel) + ",\"labels\":" + labels(l->labels) + ",\"bar\":" + box(l->bar) +
                 ",\"speed\":" + (l->speed ? "true" : "false") + ",\"full\":" + std::to_string(l->full) +
                 ",\"ticks\":[" + std::to_string(l->ticks[0]) + "," + std::to_string(l->ticks[1]) +
                 "],\"tickLength\":" + std::to_string(l->tick_length) +
                 ",\"marker\":" + (l->marker ? box(*l->marker) : "null") + ",\"square\":" + box(l->square) +
                 ",\"obstacle\":" + (l->obstacle ? box(*l->obstacle) : "null") +
                 ",\"markerColour\":" + json_colour(as_shown(MARKER_COLOUR)) +
                 ",\"obstacleColour\":" + json_colour(as_shown(SOLID_COLOUR)) +
                 ",\"smokeColour\":" + json_colour(as_shown(smoke_colour(float(1 / POINT_LIGHT)))) +
                 ",\"map\":[" + map + "]}";
    }
    return give("{\"status\":" + panel(layout.status) + ",\"cell\":" + panel(layout.cell) +
                ",\"keys\":" + panel(layout.keys) + ",\"legend\":" + legend + "}");
}

// Counts every change that may change the points; the same count, the same points.
EMSCRIPTEN_KEEPALIVE double smoke_changes() { return double(page.explorer->changes()); }

}  // extern "C"
