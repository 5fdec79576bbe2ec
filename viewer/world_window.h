// The window "World": an OpenGL view of the lattice with an orbiting camera, stepped by the f key,
// inside the program's top-level frame.
#pragma once

#include <FL/Fl_Gl_Window.H>
#include <FL/Fl_Window.H>

#include <memory>
#include <vector>

#include "lattice/lattice.h"
#include "viewer/camera.h"

class WorldWindow : public Fl_Gl_Window {
public:
    // Builds and seeds the world's lattice, and sets the camera and depth range that show it whole.
    WorldWindow(int x, int y, int w, int h, const char* title, const World& world = World());

    void draw() override;
    int handle(int event) override;
    // Keeps each side within MAX_WINDOW_SIDE. Inside a WorldFrame only the program sizes this window,
    // so the X server never holds a larger one.
    void resize(int x, int y, int w, int h) override;

    // Called by the timer: applies a drag in progress to the camera. Always true.
    bool tick(float dt);
    // Recomputes the camera from the press snapshot and the pointer's total displacement.
    void update_camera(float dt);

    CameraPose camera() const { return {elevation, azimuth, distance, target_x, target_y}; }
    void set_camera(const CameraPose& pose);

    std::unique_ptr<Lattice> lattice;
    float elevation, azimuth, distance, target_x, target_y;
    double near_plane, far_plane;  // the depths drawn, fixed for the world
    int drag_button = -1;  // Fl::event_button() of the drag in progress; -1 when none
    int mouse_x = 0, mouse_y = 0;
    int press_x = 0, press_y = 0;
    float press_elevation = 0, press_azimuth = 0, press_distance = 0, press_target_x = 0, press_target_y = 0;
    // A report could not be written to standard output. Said once on standard error; the viewer
    // goes on, being interactive, and ends with a failure status.
    bool reports_lost = false;

private:
    void begin_drag(int button, int x, int y);
    void step();
    void setup_context();
    void draw_cells();
    void draw_plane(const Plane& plane, float& point_size);

    // One plane's points for the vertex arrays, rebuilt for every plane of every frame; members only
    // so that their memory is reused.
    struct PointVertex {
        float x, y, z;  // in the plane's frame
        float r, g, b;
    };
    struct PointRun {  // consecutive points of one size, in the cells' order
        float size;
        int first, count;
    };
    std::vector<PointVertex> points_;
    std::vector<PointRun> runs_;
};

// The program's top-level window, all of it the WorldWindow. On a server without a window manager
// another client can give a top-level window any size, and the renderer sizes its buffers by the
// server's window, even in the middle of a frame: near 32767 pixels it crashes. So the OpenGL window
// is a child that only the program sizes, and this frame takes whatever size it is given.
class WorldFrame : public Fl_Window {
public:
    WorldFrame(int x, int y, int w, int h, const char* title, const World& world);

    // Keeps each side within MAX_WINDOW_SIDE, whoever asks: the program, -geometry, or the X server
    // on behalf of another client; the view follows.
    void resize(int x, int y, int w, int h) override;

    WorldWindow* view;  // owned by the frame, as its child
};
