#include "viewer/world_window.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>

#include "common/standard_streams.h"

WorldWindow::WorldWindow(int x, int y, int w, int h, const char* title, const World& world, bool explore)
    : Fl_Gl_Window(x, y, w, h, title),
      explorer_(world, explore, [this](const std::string& text) { print(text); }) {
    const View view = initial_view(world.columns, world.rows, world.planes);
    camera_ = view.camera;
    near_plane_ = view.near_plane;
    far_plane_ = view.far_plane;
    // Here, where a failure can still be refused, rather than in the middle of a frame.
    const std::size_t plane_cells = std::size_t(world.columns) * std::size_t(world.rows);
    points_.reserve(plane_cells);
    runs_.reserve(plane_cells);
}

void WorldWindow::print(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
    // Said once: the viewer goes on.
    if (!reports_lost_) reports_lost_ = output_failed(stdout, "smoke-viewer", "to standard output");
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
