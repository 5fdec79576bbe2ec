// The orbiting camera's arithmetic: orbit, zoom, pan, and where a world point lands in the window,
// as pure functions of the standard library, so that they can be tested without a window. Angles are degrees held in floats;
// trigonometry is done in double precision.
#pragma once


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
