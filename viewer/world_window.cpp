#include "viewer/world_window.h"

#include <algorithm>

WorldWindow::WorldWindow(int x, int y, int w, int h, const char* title, const World& world, bool explore)
    : Fl_Gl_Window(x, y, w, h, title), lattice(make_world(world)), exploring(explore), world(world) {
    const View view = initial_view(world.columns, world.rows, world.planes);
    set_camera(view.camera);
    near_plane = view.near_plane;
    far_plane = view.far_plane;
    if (exploring) survey_lattice();
}

void WorldWindow::set_camera(const CameraPose& pose) {
    elevation = pose.elevation;
    azimuth = pose.azimuth;
    distance = pose.distance;
    target_x = pose.target_x;
    target_y = pose.target_y;
}

void WorldWindow::resize(int x, int y, int w, int h) {
    Fl_Gl_Window::resize(x, y, std::min(w, MAX_WINDOW_SIDE), std::min(h, MAX_WINDOW_SIDE));
}

WorldFrame::WorldFrame(int x, int y, int w, int h, const char* title, const World& world, bool explore)
    : Fl_Window(x, y, w, h, title), view(new WorldWindow(0, 0, w, h, title, world, explore)) {
    // No resizable widget and no size range, as ever: window managers are told the size it opens
    // with, and keep to it.
    end();
}

void WorldFrame::resize(int x, int y, int w, int h) {
    const int bounded_w = std::min(w, MAX_WINDOW_SIDE), bounded_h = std::min(h, MAX_WINDOW_SIDE);
    // Told of a size by the X server, the toolkit takes it as it is; asked by the program, it asks the
    // server. So take the server's size first, then ask for the bounded one. The view fills the frame
    // within its own bounds.
    Fl_Window::resize(x, y, w, h);
    if (bounded_w != w || bounded_h != h) Fl_Window::resize(x, y, bounded_w, bounded_h);
    view->resize(0, 0, bounded_w, bounded_h);
}
