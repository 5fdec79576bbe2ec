// The colours of the scene's points, shared by its drawing and the overlay's legend.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>

struct Colour {
    float r, g, b;
};

// A cell with smoke: as green as its smoke, which may exceed 1.
inline Colour smoke_colour(float smoke) { return {0, smoke, 0}; }
// A cell without smoke that lacks a neighbour (a cell of the sheet's edges, or of a single plane).
constexpr Colour MARKER_COLOUR = {0.1f, 0.6f, 1.0f};
// A cell of an obstacle: grey, apart from smoke's green and the markers' blue.
constexpr Colour SOLID_COLOUR = {0.5f, 0.5f, 0.5f};

// The light's share of a point's colour on screen: every point keeps the normal (0, 0, 1) and the
// light comes from (1, 1, 1), so each gets the global ambient 0.2 plus the diffuse cosine 1/sqrt(3).
constexpr double POINT_LIGHT = 0.2 + 0.5773502691896258;

// A point's colour as it shows: lit, then clamped to 1. So smoke saturates at 1 / POINT_LIGHT.
inline Colour as_shown(const Colour& c) {
    const auto channel = [](float value) { return float(std::min(value * POINT_LIGHT, 1.0)); };
    return {channel(c.r), channel(c.g), channel(c.b)};
}

// The speed view's map, perceptually uniform from dark violet through teal to yellow: nine samples
// at equal steps (8-bit sRGB), interpolated linearly between them.
constexpr std::array<std::array<unsigned char, 3>, 9> SPEED_MAP = {{{68, 1, 84},
                                                                    {71, 45, 123},
                                                                    {59, 82, 139},
                                                                    {44, 114, 142},
                                                                    {33, 145, 140},
                                                                    {40, 174, 128},
                                                                    {94, 201, 98},
                                                                    {173, 220, 48},
                                                                    {253, 231, 37}}};

// The map's colour at t, clamped to [0, 1] (NaN takes the bottom), as it should show on screen.
inline Colour speed_map(double t) {
    t = t > 0 ? std::min(t, 1.0) : 0.0;
    const double at = t * (SPEED_MAP.size() - 1);
    const std::size_t i = std::min(std::size_t(at), SPEED_MAP.size() - 2);
    const double f = at - double(i);
    const auto mix = [&](int c) { return float(((1 - f) * SPEED_MAP[i][c] + f * SPEED_MAP[i + 1][c]) / 255); };
    return {mix(0), mix(1), mix(2)};
}

// A point coloured by speed from 0 to top: the map's colour before the light, so that as_shown
// gives back the map itself. A top of 0 or less shows every point at the map's bottom.
inline Colour speed_colour(float speed, double top) {
    const Colour c = speed_map(top > 0 ? speed / top : 0);
    const auto unlit = [](float v) { return float(v / POINT_LIGHT); };
    return {unlit(c.r), unlit(c.g), unlit(c.b)};
}
