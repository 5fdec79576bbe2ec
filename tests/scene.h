// What the viewer's picture should look like: colours under its lighting, and where world points land.
#pragma once

#include <algorithm>
#include <cmath>

#include "viewer/camera.h"
#include "harness/x_display.h"

// Fixed-function lighting with the light along (1, 1, 1) and every normal (0, 0, 1): the global
// ambient 0.2 plus the diffuse cosine 1/sqrt(3), the same for every face and point.
constexpr double LIGHT = 0.2 + 0.5773502691896258;

// The lit colour is clamped, the colour itself is not: smoke above 1 brightens up to full green.
inline Rgb lit(double r, double g, double b) {
    const auto channel = [](double c) { return int(std::lround(std::min(c * LIGHT, 1.0) * 255)); };
    return {channel(r), channel(g), channel(b)};
}

inline const Rgb MAGENTA = lit(1, 0, 1);
inline const Rgb ORANGE = lit(1, 0.5, 0);
inline const Rgb MARKER = lit(0.1, 0.6, 1);
inline const Rgb BLACK = {0, 0, 0};
inline Rgb smoke_green(float smoke) { return lit(0, smoke, 0); }

inline bool near(const Rgb& a, const Rgb& b) {
    return std::abs(a.r - b.r) <= 2 && std::abs(a.g - b.g) <= 2 && std::abs(a.b - b.b) <= 2;
}

// Where a world point lands in the window, by the same look-at and perspective the viewer asks
// OpenGL for.
struct Pixel {
    int x, y;
};

inline Pixel project(const CameraPose& camera, int w, int h, double px, double py, double pz) {
    const Eye e = eye_position(camera);
    double f[3] = {camera.target_x - e.x, camera.target_y - e.y, PIVOT_Z - e.z};
    const double fl = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
    for (double& v : f) v /= fl;
    double s[3] = {f[1], -f[0], 0};  // forward x up (0, 0, 1)
    const double sl = std::sqrt(s[0] * s[0] + s[1] * s[1]);
    for (double& v : s) v /= sl;
    const double u[3] = {s[1] * f[2] - s[2] * f[1], s[2] * f[0] - s[0] * f[2], s[0] * f[1] - s[1] * f[0]};
    const double d[3] = {px - e.x, py - e.y, pz - e.z};
    const auto dot = [&](const double* a) { return a[0] * d[0] + a[1] * d[1] + a[2] * d[2]; };
    const double t = std::tan(fovy_degrees(w, h) * PI / 360);
    const double ndc_x = dot(s) / (dot(f) * t * aspect_ratio(w, h));
    const double ndc_y = dot(u) / (dot(f) * t);
    return {int(std::floor((ndc_x + 1) * w / 2)), int(std::floor((1 - ndc_y) * h / 2))};
}

// Whether the colour shows within radius pixels of p.
inline bool shows_near(const Screenshot& shot, Pixel p, const Rgb& colour, int radius = 1) {
    for (int y = p.y - radius; y <= p.y + radius; ++y)
        for (int x = p.x - radius; x <= p.x + radius; ++x)
            if (x >= 0 && y >= 0 && x < shot.w && y < shot.h && near(shot.at(x, y), colour)) return true;
    return false;
}

inline int count(const Screenshot& shot, const Rgb& colour) {
    int n = 0;
    for (const Rgb& p : shot.pixels) n += near(p, colour);
    return n;
}

// Cell (x, y) of the single plane stands at world (-1, 25 - x, y - 25).
inline Pixel cell_pixel(const CameraPose& camera, int w, int h, int x, int y) {
    return project(camera, w, h, -1, 25 - x, y - 25);
}

