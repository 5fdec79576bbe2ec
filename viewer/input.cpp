// Mouse and keyboard: events only record the pointer; the timer's tick moves the camera.
#include <FL/Fl.H>

#include <cstdio>
#include <cstdlib>

#include "common/standard_streams.h"

#include "viewer/world_window.h"

namespace {

constexpr int KEY_STEP = 'f';  // by key code, so Shift and Caps Lock make no difference
constexpr int KEY_QUIT = 'q';

}  // namespace

int WorldWindow::handle(int event) {
    switch (event) {
        case FL_PUSH:
            begin_drag(Fl::event_button(), Fl::event_x(), Fl::event_y());
            return 1;
        case FL_RELEASE:
            drag_button = -1;  // whichever button went up
            return 1;
        case FL_DRAG:
            mouse_x = Fl::event_x();
            mouse_y = Fl::event_y();
            return 1;
        case FL_KEYBOARD:
            if (Fl::event_key() == KEY_STEP) {
                step();
            } else if (Fl::event_key() == KEY_QUIT) {
                std::exit(1);
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
    // Said once: the viewer goes on.
    if (!reports_lost) reports_lost = output_failed(stdout, "smoke-viewer", "the reports to standard output");
}

void WorldWindow::begin_drag(int button, int x, int y) {
    drag_button = button;
    press_x = mouse_x = x;
    press_y = mouse_y = y;
    press_elevation = elevation;
    press_azimuth = azimuth;
    press_distance = distance;
    press_target_x = target_x;
    press_target_y = target_y;
}

bool WorldWindow::tick(float dt) {
    if (drag_button != -1) update_camera(dt);
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
