// The window "World": an OpenGL view of the lattice with an orbiting camera, stepped by the f key,
// inside the program's top-level frame. In explore mode it also plays, resets, picks cells and shows
// the figures over the scene.
#pragma once

#include <FL/Fl_Gl_Window.H>
#include <FL/Fl_Window.H>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "lattice/lattice.h"
#include "lattice/survey.h"
#include "viewer/camera.h"
#include "viewer/overlay_layout.h"
#include "viewer/overlay_text.h"

// The overlay's font: its glyphs in a texture of the window's OpenGL context, a cell each, and its
// metrics in pixels.
struct OverlayFont {
    unsigned texture = 0;  // 0 when there is none
    int texture_width = 0, texture_height = 0;
    FontMetrics metrics;
};

class WorldWindow : public Fl_Gl_Window {
public:
    // Builds and seeds the world's lattice, and sets the camera and depth range that show it whole.
    WorldWindow(int x, int y, int w, int h, const char* title, const World& world = World(), bool explore = false);

    void draw() override;
    int handle(int event) override;
    // Keeps each side within MAX_WINDOW_SIDE. Inside a WorldFrame only the program sizes this window,
    // so the X server never holds a larger one.
    void resize(int x, int y, int w, int h) override;

    // Called by the timer: applies a drag in progress to the camera, and steps the world while it
    // plays. Always true.
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
    // A report or a cell's line could not be written to standard output. Said once on standard
    // error; the viewer goes on, being interactive, and ends with a failure status.
    bool reports_lost = false;

    // Explore mode (--explore): space plays and pauses, r resets, a left click picks a cell, and the
    // overlay shows the figures. Without it the window is the plain viewer, and none of this changes.
    bool exploring;
    World world;  // what r seeds again
    long step_number = 0;  // steps since the seeded state
    bool playing = false;
    std::optional<double> steps_per_second;  // measured while playing, once a measure is whole
    Survey summary;  // of the lattice at step_number; explore mode keeps it, once a step
    std::optional<FirstNonFinite> first_nonfinite;
    std::optional<Place> selected;  // the picked cell, followed from step to step
    bool press_moved = false;  // the pointer left the click tolerance since the left button went down

    // Explore mode's actions, as its keys and clicks trigger them.
    void toggle_play();
    void reset();  // back to the seeded state, step 0, in place
    // Selects the cell a click at window position (x, y) shows (see pick) and prints its line, or
    // clears the selection.
    void pick_at(int x, int y);

private:
    void begin_drag(int button, int x, int y);
    void end_drag(int x, int y);
    void step();
    void survey_lattice();
    void measure_rate();
    void print_line(const std::string& line);
    void check_output();  // after each write to standard output: notes and says a failure
    void setup_context();
    void draw_cells();
    void draw_plane(const Plane& plane, float& point_size);
    void draw_overlay();
    void load_font();

    // Steps taken while playing since rate_start_, when the measure under way began.
    std::chrono::steady_clock::time_point rate_start_;
    long rate_steps_ = 0;
    OverlayFont font_;

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
    WorldFrame(int x, int y, int w, int h, const char* title, const World& world, bool explore = false);

    // Keeps each side within MAX_WINDOW_SIDE, whoever asks: the program, -geometry, or the X server
    // on behalf of another client; the view follows.
    void resize(int x, int y, int w, int h) override;

    WorldWindow* view;  // owned by the frame, as its child
};
