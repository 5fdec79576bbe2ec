// The orbiting camera's arithmetic as pure functions, so that it can be tested without a window.
// Angles are degrees held in floats; trigonometry is done in double precision.
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

constexpr CameraPose DEFAULT_CAMERA = {0.0f, 0.0f, 100.0f, 0.0f, 0.0f};
constexpr double PIVOT_Z = 2.0;
constexpr float MIN_ELEVATION = -5.0f;
constexpr float MAX_ELEVATION = 89.0f;
constexpr float MIN_DISTANCE = 1.0f;
// Far beyond the far clipping plane (1000), where nothing shows any more; without a bound, repeated
// zooms out multiply the distance until it overflows.
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

struct Eye {
    double x, y, z;
};

// The eye on the sphere of radius distance about the pivot.
Eye eye_position(const CameraPose& camera);
