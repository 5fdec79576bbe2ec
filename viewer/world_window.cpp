#include "viewer/world_window.h"

WorldWindow::WorldWindow(int x, int y, int w, int h, const char* title)
    : Fl_Gl_Window(x, y, w, h, title), lattice(make_world()) {
    set_camera(DEFAULT_CAMERA);
}

void WorldWindow::set_camera(const CameraPose& pose) {
    elevation = pose.elevation;
    azimuth = pose.azimuth;
    distance = pose.distance;
    target_x = pose.target_x;
    target_y = pose.target_y;
}
