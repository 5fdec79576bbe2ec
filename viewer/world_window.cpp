#include "viewer/world_window.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>

#include "common/standard_streams.h"

WorldWindow::WorldWindow(int x, int y, int w, int h, const char* title, const Scenario& scenario, bool explore)
    : Fl_Gl_Window(x, y, w, h, title),
      explorer_(scenario, explore, [this](const std::string& text) { print(text); }) {
    const Extent extent = explorer_.model().extent();
    const View view = initial_view(extent.columns, extent.rows, extent.planes);
    camera_ = view.camera;
    near_plane_ = view.near_plane;
    far_plane_ = view.far_plane;
    // Here, where a failure can still be refused, rather than in the middle of a frame.
    points_.reserve(extent.cells());
    runs_.reserve(extent.cells());
    plane_runs_.reserve(std::size_t(extent.planes) + 1);
}

WorldWindow::WorldWindow(int x, int y, int w, int h, const char* title, const World& world, bool explore)
    : WorldWindow(x, y, w, h, title, Scenario{ModelKind::demo, world, {}}, explore) {}

void WorldWindow::print(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
    // Said once: the viewer goes on.
    if (!reports_lost_) reports_lost_ = output_failed(stdout, "smoke-viewer", "to standard output");
}

void WorldWindow::resize(int x, int y, int w, int h) {
    Fl_Gl_Window::resize(x, y, std::min(w, MAX_WINDOW_SIDE), std::min(h, MAX_WINDOW_SIDE));
    stale_ = true;
}

WorldFrame::WorldFrame(int x, int y, int w, int h, const char* title, const Scenario& scenario, bool explore)
    : Fl_Window(x, y, w, h, title), view(new WorldWindow(0, 0, w, h, title, scenario, explore)) {
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
