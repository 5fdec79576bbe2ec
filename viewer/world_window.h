// The window "World": an OpenGL view of any model's cells with an orbiting camera, stepped by the f key,
// inside the program's top-level frame. A thin shell: its events and timer go to the camera's
// functions and to the Explorer, which holds the world; in explore mode it also draws the panels.
#pragma once

#include <FL/Fl_Gl_Window.H>
#include <FL/Fl_Window.H>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "lattice/lattice.h"
#include "viewer/camera.h"
#include "viewer/explore.h"
#include "viewer/overlay_layout.h"
#include "viewer/placement.h"

// The overlay's font: its glyphs in a texture of the window's OpenGL context, a cell each, and its
// metrics in pixels.
struct OverlayFont {
    unsigned texture = 0;  // 0 when there is none
    int texture_width = 0, texture_height = 0;
    FontMetrics metrics;
};

class WorldWindow : public Fl_Gl_Window {
public:
    // Builds and seeds the scenario's model, sets the camera and depth range that show it whole, and
    // reserves the vertex arrays of its largest frame (std::bad_alloc when it cannot).
    WorldWindow(int x, int y, int w, int h, const char* title, const Scenario& scenario, bool explore = false);
    // The demonstration on world.
    WorldWindow(int x, int y, int w, int h, const char* title, const World& world = World(), bool explore = false);

    void draw() override;
    int handle(int event) override;
    // Keeps each side within MAX_WINDOW_SIDE. Inside a WorldFrame only the program sizes this window,
    // so the X server never holds a larger one.
    void resize(int x, int y, int w, int h) override;

    // Called by the timer: applies a drag in progress to the camera, and steps the world while it plays.
    // Answers whether the window should repaint: always in the plain viewer, as it always has; in
    // explore mode only when something may show differently (an event, a drag, playing), so that an
    // idle window costs next to nothing however large its world.
    bool tick();

    CameraPose camera() const { return camera_; }
    void set_camera(const CameraPose& pose) { camera_ = pose; }
    // The camera with the depths drawn, fixed for the world.
    View view() const { return {camera_, near_plane_, far_plane_}; }
    bool dragging() const { return drag_button_ != -1; }
    Explorer& explorer() { return explorer_; }
    const Explorer& explorer() const { return explorer_; }
    // A report or a cell's line could not be written to standard output. Said once on standard
    // error; the viewer goes on, being interactive, and ends with a failure status.
    bool reports_lost() const { return reports_lost_; }

private:
    void begin_drag(int button, int x, int y);
    void end_drag(int x, int y);
    void update_camera();  // from the press snapshot and the pointer's total displacement
    void print(const std::string& text);
    void setup_context();
    void draw_cells();
    void build_arrays();
    void draw_panels();
    void load_font();

    Explorer explorer_;
    CameraPose camera_;
    double near_plane_, far_plane_;
    int drag_button_ = -1;  // Fl::event_button() of the drag in progress; -1 when none
    int mouse_x_ = 0, mouse_y_ = 0;
    int press_x_ = 0, press_y_ = 0;
    CameraPose press_camera_ = DEFAULT_CAMERA;
    bool press_moved_ = false;  // the pointer left the click tolerance since the left button went down
    bool reports_lost_ = false;
    bool stale_ = true;  // explore mode: the frame shown may differ from what a repaint would draw
    OverlayFont font_;

    // The points of every plane for the vertex arrays, rebuilt when the Explorer's count of changes
    // differs from the one they were built at; their memory, reserved once for the whole world, is
    // reused.
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
    std::vector<int> plane_runs_;  // plane p's runs are runs_[plane_runs_[p]] to before plane_runs_[p + 1]
    std::optional<unsigned long> arrays_changes_;  // nothing before the first frame

public:
    // What drawing a world takes for each of its cells beyond the lattice: the vertex arrays, and
    // the renderer's own copy of the vertices as it transforms them.
    static constexpr std::uint64_t DRAWING_BYTES_PER_CELL = sizeof(PointVertex) + sizeof(PointRun) + 192;
};

// The program's top-level window, all of it the WorldWindow. On a server without a window manager
// another client can give a top-level window any size, and the renderer sizes its buffers by the
// server's window, even in the middle of a frame: near 32767 pixels it crashes. So the OpenGL window
// is a child that only the program sizes, and this frame takes whatever size it is given.
class WorldFrame : public Fl_Window {
public:
    WorldFrame(int x, int y, int w, int h, const char* title, const Scenario& scenario, bool explore = false);

    // Keeps each side within MAX_WINDOW_SIDE, whoever asks: the program, -geometry, or the X server
    // on behalf of another client; the view follows.
    void resize(int x, int y, int w, int h) override;

    WorldWindow* view;  // owned by the frame, as its child
};
