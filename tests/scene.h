// What the viewer's picture should look like: colours under its lighting, and where world points land.
#pragma once

#include <algorithm>
#include <cmath>

#include "harness/x_display.h"
#include "lattice/world.h"
#include "viewer/placement.h"

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

struct Pixel {
    int x, y;
};

// The pixel where a world point lands in the window.
inline Pixel pixel_of(const CameraPose& camera, int w, int h, const Point& p) {
    const WindowPoint q = project(camera, w, h, p);
    return {int(std::floor(q.x)), int(std::floor(q.y))};
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

// Cell (x, y) of the running system's single plane, at world (-1, 25 - x, y - 25).
inline Pixel cell_pixel(const CameraPose& camera, int w, int h, int x, int y) {
    return pixel_of(camera, w, h, cell_point(GRID_SIZE, GRID_SIZE, x, y, 0));
}

