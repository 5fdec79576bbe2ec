// The orbiting camera's arithmetic and where the world's points land in the window, as pure
// functions, so that they can be tested without a window. Angles are degrees held in floats;
// trigonometry is done in double precision.
#pragma once

#include <optional>

#include "lattice/lattice.h"

constexpr double PI = 3.141592653589793;

// The five camera fields of the window, as a value.
struct CameraPose {
    float elevation;  // degrees above the pivot's horizontal plane, kept within [-5, 89]
    float azimuth;    // degrees about the vertical axis, kept within [0, 360)
    float distance;   // from the eye to the pivot, within [1, MAX_DISTANCE]
    float target_x;   // the pivot (target_x, target_y, PIVOT_Z)
    float target_y;
};

// The running system's camera, which sees its 50 x 50 sheet whole in the first window.
constexpr CameraPose DEFAULT_CAMERA = {0.0f, 0.0f, 100.0f, 0.0f, 0.0f};
constexpr double PIVOT_Z = 2.0;
// The window's size when it opens, unless -geometry says otherwise.
constexpr int FIRST_WIDTH = 800;
constexpr int FIRST_HEIGHT = 600;
constexpr float MIN_ELEVATION = -5.0f;
constexpr float MAX_ELEVATION = 89.0f;
constexpr float MIN_DISTANCE = 1.0f;
// Beyond the running system's far clipping plane (1000), where nothing shows any more; without a
// bound, repeated zooms out multiply the distance until it overflows.
constexpr float MAX_DISTANCE = 1.0e6f;

// Pointer displacement since the press, press minus current: dx > 0 when the pointer moved left,
// dy > 0 when it moved up. w and h are the window's size in pixels.
struct Drag {
    int dx, dy;
    int w, h;
};

// Left button: a drag across the whole width turns one full turn, over the whole height tilts 90 degrees.
CameraPose orbit(const CameraPose& press, const Drag& drag);
// Middle button: up by the window's height halves the distance, down by it makes it 1.5 times; the
// distance stays within [MIN_DISTANCE, MAX_DISTANCE].
CameraPose zoom(const CameraPose& press, const Drag& drag);
// Right button: the pivot moves 100 units per window width sideways and per window height toward
// the eye, along directions taken from the current azimuth.
CameraPose pan(const CameraPose& press, float azimuth, const Drag& drag);

// Brings an angle into [0, 360) exactly as repeatedly subtracting or adding 360 in float would,
// in constant time, and never yields 360 itself.
float wrap_degrees(float degrees);

// The largest side a window may have: beyond the widest screens (7680 pixels), well within the
// maximum viewport of OpenGL implementations, and far from the sizes near 32767 x 32767 at which
// Mesa's software renderer crashes.
constexpr int MAX_WINDOW_SIDE = 8192;

// Vertical field of view in degrees that makes the horizontal one 45 degrees.
double fovy_degrees(int w, int h);
double aspect_ratio(int w, int h);

// A point of the world: x toward the eye of the default camera, z up.
struct Point {
    double x, y, z;
};

// The eye on the sphere of radius distance about the pivot.
Point eye_position(const CameraPose& camera);

// A world point as a window of w x h pixels shows it, by the same look-at and perspective the viewer
// asks OpenGL for: x and y in pixels from the window's top left corner (pixel (i, j) covers
// [i, i + 1) x [j, j + 1)), and depth, its distance in front of the eye along the line of sight. Only
// a depth between the near and far planes is drawn; at a depth of 0 or less x and y mean nothing.
struct WindowPoint {
    double x, y, depth;
};
WindowPoint project(const CameraPose& camera, int w, int h, const Point& p);

// project() for many points: the camera's frame and perspective worked out once.
struct Projection {
    Projection(const CameraPose& camera, int w, int h);
    WindowPoint operator()(const Point& p) const;

    int w, h;
    Point eye, forward, side, up;  // gluLookAt's frame
    double tangent, aspect;  // gluPerspective's: the tangent of half the vertical field, and w / h
};

// Where the viewer draws cell (column, row) of a plane, in a world of columns x rows cells a plane.
// The sheet stands upright, turned half a turn about z to face the eye: column x at
// y = columns / 2 - x and row y at z = y - rows / 2 (halves rounded toward zero, so that the running
// system's columns run from y = 25 to -24 and its rows from z = -25 to 24), plane p at x = -(p + 1),
// behind the reference cube of side 2 about the origin.
Point cell_point(int columns, int rows, int column, int row, int plane);

// The camera a world is first seen from, and the depths drawn.
struct View {
    CameraPose camera;
    double near_plane, far_plane;
};
// The running system's world (50 x 50 x 1) gets DEFAULT_CAMERA with planes 1 and 1000. A world that
// would not fit the first window's central 95 % from distance 100 is seen from as far as it takes,
// up to MAX_DISTANCE. The far plane stays ten times the distance, and beyond the farthest cell from
// any eye at that distance about the pivot, so that orbiting never cuts the world.
View initial_view(int columns, int rows, int planes);

// The point a cell draws: a green one for smoke above 0 (zero, negative and NaN smoke draw none), else
// a blue marker for a cell that lacks a neighbour, else none. A marker under a green point would lie
// at the same depth and fail the depth test, so such a cell draws only the green one. The drawing and
// the picking both ask this, so that a click can only select what shows.
enum class CellMark { NONE, SMOKE, MARKER };
inline CellMark cell_mark(const Cell& cell) {
    if (cell.smoke > 0) return CellMark::SMOKE;
    for (const Link& link : cell.links) {
        if (!link.neighbour) return CellMark::MARKER;
    }
    return CellMark::NONE;
}
// The side, in pixels, of the square a point covers: an odd size, centred on the pixel the point
// lands in.
constexpr int SMOKE_POINT_SIZE = 3;
constexpr int MARKER_POINT_SIZE = 1;

// How far from the pointer, in pixels, a point may land and still be picked when none covers the
// pointer's pixel: about half the spacing of the running system's cells in its first view.
constexpr double PICK_RADIUS = 5;

// The cell a click on pixel (x, y) of a window of w x h pixels selects, when the lattice is drawn
// from view.camera: the cell whose point shows in that pixel, the front one of those whose square
// covers it; nothing when the reference cube (the box [-1, 1]^3) shows there in front of them. In a
// pixel that shows nothing, the point nearest the pixel's centre within PICK_RADIUS that the cube
// does not hide, then the cell that shows in that point's own pixel: never a point that shows nowhere.
// Only cells that draw a point count (cell_mark), with their centre in the window and between the
// near and far planes, as drawn.
std::optional<Place> pick(const Lattice& lattice, const View& view, int w, int h, int x, int y);
