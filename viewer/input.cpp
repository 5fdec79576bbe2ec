// Mouse and keyboard: events only record the pointer; the timer's tick moves the camera, and in
// explore mode steps the world while it plays.
#include <FL/Fl.H>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/cell_text.h"
#include "common/standard_streams.h"

#include "viewer/world_window.h"

namespace {

// By key code, so Shift and Caps Lock make no difference.
constexpr int KEY_STEP = 'f';
constexpr int KEY_QUIT = 'q';
constexpr int KEY_PLAY = ' ';   // explore mode only, as the two below
constexpr int KEY_RESET = 'r';

// A left press and release no farther apart than this along either axis, in pixels, and with no
// drag beyond it in between, make a click rather than an orbit.
constexpr int CLICK_TOLERANCE = 3;

// The steps per second are counted over this long: a figure that holds still long enough to read.
constexpr std::chrono::milliseconds RATE_PERIOD(500);

}  // namespace

int WorldWindow::handle(int event) {
    switch (event) {
        case FL_PUSH:
            begin_drag(Fl::event_button(), Fl::event_x(), Fl::event_y());
            return 1;
        case FL_RELEASE:
            end_drag(Fl::event_x(), Fl::event_y());
            return 1;
        case FL_DRAG:
            mouse_x = Fl::event_x();
            mouse_y = Fl::event_y();
            press_moved = press_moved || std::abs(mouse_x - press_x) > CLICK_TOLERANCE ||
                          std::abs(mouse_y - press_y) > CLICK_TOLERANCE;
            return 1;
        case FL_KEYBOARD:
            if (Fl::event_key() == KEY_STEP) {
                step();
            } else if (Fl::event_key() == KEY_QUIT) {
                std::exit(1);
            } else if (exploring && Fl::event_key() == KEY_PLAY) {
                toggle_play();
            } else if (exploring && Fl::event_key() == KEY_RESET) {
                reset();
            }
            return 1;  // every other key is consumed too
        case FL_FOCUS:  // takes the keyboard, which the toolkit gives its frame's child that takes it
        case FL_UNFOCUS:
            return 1;
        default:
            return Fl_Gl_Window::handle(event);
    }
}

void WorldWindow::step() {
    lattice->step();
    ++step_number;
    if (exploring) survey_lattice();
    check_output();
}

void WorldWindow::survey_lattice() {
    summary = survey(*lattice);
    if (!first_nonfinite && summary.first_nonfinite) first_nonfinite = FirstNonFinite{step_number, *summary.first_nonfinite};
}

void WorldWindow::toggle_play() {
    playing = !playing;
    steps_per_second.reset();
    rate_start_ = std::chrono::steady_clock::now();
    rate_steps_ = 0;
}

void WorldWindow::measure_rate() {
    ++rate_steps_;
    const auto now = std::chrono::steady_clock::now();
    const std::chrono::duration<double> elapsed = now - rate_start_;
    if (elapsed < RATE_PERIOD) return;
    steps_per_second = rate_steps_ / elapsed.count();
    rate_start_ = now;
    rate_steps_ = 0;
}

void WorldWindow::reset() {
    // In place: nothing to allocate, so nothing that can fail inside the toolkit's callback.
    lattice->reseed(world);
    step_number = 0;
    first_nonfinite.reset();
    survey_lattice();
}

void WorldWindow::pick_at(int x, int y) {
    selected = pick(*lattice, {camera(), near_plane, far_plane}, w(), h(), x, y);
    if (selected) print_line(cell_line(step_number, *selected, *lattice->cell(selected->column, selected->row, selected->plane)));
}

void WorldWindow::print_line(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
    check_output();
}

void WorldWindow::check_output() {
    // Said once: the viewer goes on.
    if (!reports_lost) reports_lost = output_failed(stdout, "smoke-viewer", "to standard output");
}

void WorldWindow::begin_drag(int button, int x, int y) {
    drag_button = button;
    press_x = mouse_x = x;
    press_y = mouse_y = y;
    press_moved = false;
    press_elevation = elevation;
    press_azimuth = azimuth;
    press_distance = distance;
    press_target_x = target_x;
    press_target_y = target_y;
}

void WorldWindow::end_drag(int x, int y) {
    const bool click = drag_button == FL_LEFT_MOUSE && !press_moved && std::abs(x - press_x) <= CLICK_TOLERANCE &&
                       std::abs(y - press_y) <= CLICK_TOLERANCE;
    if (exploring && click) {
        // A click picks rather than orbits: the camera goes back to where the press found it.
        set_camera({press_elevation, press_azimuth, press_distance, press_target_x, press_target_y});
        pick_at(press_x, press_y);
    }
    drag_button = -1;  // whichever button went up
}

bool WorldWindow::tick(float dt) {
    if (drag_button != -1) update_camera(dt);
    if (playing) {
        step();
        measure_rate();
    }
    return true;
}

void WorldWindow::update_camera(float /*dt: the camera depends on the pointer, not on time*/) {
    const CameraPose press = {press_elevation, press_azimuth, press_distance, press_target_x, press_target_y};
    const Drag drag = {press_x - mouse_x, press_y - mouse_y, w(), h()};
    switch (drag_button) {
        case FL_LEFT_MOUSE:
            set_camera(orbit(press, drag));
            break;
        case FL_MIDDLE_MOUSE:
            set_camera(zoom(press, drag));
            break;
        case FL_RIGHT_MOUSE:
            set_camera(pan(press, azimuth, drag));
            break;
        default:
            break;  // other buttons leave the camera alone
    }
}
