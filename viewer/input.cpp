// Mouse and keyboard: events only record the pointer; the timer's tick moves the camera, and in
// explore mode steps the world while it plays.
#include <FL/Fl.H>

#include <cstdlib>

#include "viewer/world_window.h"

namespace {

// By key code, so Shift and Caps Lock make no difference.
constexpr int KEY_STEP = 'f';
constexpr int KEY_QUIT = 'q';
constexpr int KEY_PLAY = ' ';   // explore mode only, as the two below
constexpr int KEY_RESET = 'r';
constexpr int KEY_VIEW = 'v';      // these three in a world with a flow only
constexpr int KEY_PUFF = 'p';
constexpr int KEY_OBSTACLE = 'o';

// A left press and release no farther apart than this along either axis, in pixels, and with no
// drag beyond it in between, make a click rather than an orbit.
constexpr int CLICK_TOLERANCE = 3;

bool within_click(int x, int y, int press_x, int press_y) {
    return std::abs(x - press_x) <= CLICK_TOLERANCE && std::abs(y - press_y) <= CLICK_TOLERANCE;
}

}  // namespace

int WorldWindow::handle(int event) {
    // Any of these may change what the window shows: the camera, the world, the selection, the view.
    if (event == FL_PUSH || event == FL_RELEASE || event == FL_DRAG || event == FL_KEYBOARD) stale_ = true;
    switch (event) {
        case FL_PUSH:
            begin_drag(Fl::event_button(), Fl::event_x(), Fl::event_y());
            return 1;
        case FL_RELEASE:
            end_drag(Fl::event_x(), Fl::event_y());
            return 1;
        case FL_DRAG:
            mouse_x_ = Fl::event_x();
            mouse_y_ = Fl::event_y();
            press_moved_ = press_moved_ || !within_click(mouse_x_, mouse_y_, press_x_, press_y_);
            return 1;
        case FL_KEYBOARD:
            if (Fl::event_key() == KEY_STEP) {
                explorer_.step();
            } else if (Fl::event_key() == KEY_QUIT) {
                std::exit(1);
            } else if (Fl::event_key() == KEY_PLAY) {
                explorer_.toggle_play(Explorer::Clock::now());
            } else if (Fl::event_key() == KEY_RESET) {
                explorer_.reset();
            } else if (Fl::event_key() == KEY_VIEW) {
                explorer_.toggle_view();
            } else if (Fl::event_key() == KEY_PUFF) {
                explorer_.puff();
            } else if (Fl::event_key() == KEY_OBSTACLE) {
                explorer_.toggle_obstacle();
            }
            return 1;  // every other key is consumed too
        case FL_FOCUS:  // takes the keyboard, which the toolkit gives its frame's child that takes it
        case FL_UNFOCUS:
            return 1;
        default:
            return Fl_Gl_Window::handle(event);
    }
}

void WorldWindow::begin_drag(int button, int x, int y) {
    drag_button_ = button;
    press_x_ = mouse_x_ = x;
    press_y_ = mouse_y_ = y;
    press_moved_ = false;
    press_camera_ = camera_;
}

void WorldWindow::end_drag(int x, int y) {
    const bool click = drag_button_ == FL_LEFT_MOUSE && !press_moved_ && within_click(x, y, press_x_, press_y_);
    if (explorer_.exploring() && click) {
        // A click picks rather than orbits: the camera goes back to where the press found it.
        camera_ = press_camera_;
        std::optional<FontMetrics> font;
        if (font_.texture) font = font_.metrics;  // else no panel is drawn
        explorer_.click(view(), w(), h(), press_x_, press_y_, font);
    }
    drag_button_ = -1;  // whichever button went up
}

bool WorldWindow::tick() {
    if (drag_button_ != -1) update_camera();
    explorer_.tick(Explorer::Clock::now());
    stale_ = stale_ || drag_button_ != -1 || explorer_.playing();
    return !explorer_.exploring() || stale_;
}

void WorldWindow::update_camera() {
    const Drag drag = {press_x_ - mouse_x_, press_y_ - mouse_y_, w(), h()};
    switch (drag_button_) {
        case FL_LEFT_MOUSE:
            camera_ = orbit(press_camera_, drag);
            break;
        case FL_MIDDLE_MOUSE:
            camera_ = zoom(press_camera_, drag);
            break;
        case FL_RIGHT_MOUSE:
            camera_ = pan(press_camera_, camera_.azimuth, drag);
            break;
        default:
            break;  // other buttons leave the camera alone
    }
}
