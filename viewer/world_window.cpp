#include "viewer/world_window.h"

WorldWindow::WorldWindow(int x, int y, int w, int h, const char* title)
    : Fl_Gl_Window(x, y, w, h, title),
      lattice(std::make_unique<Lattice>(WORLD_TAU, WORLD_LATTICE_SPEED)) {
    set_camera(DEFAULT_CAMERA);
    lattice->add_source(SOURCE_X, SOURCE_Y, SOURCE_PLANE, SOURCE_SMOKE, WORLD_LATTICE_SPEED);
}

void WorldWindow::set_camera(const CameraPose& pose) {
    elevation = pose.elevation;
    azimuth = pose.azimuth;
    distance = pose.distance;
    target_x = pose.target_x;
    target_y = pose.target_y;
}
