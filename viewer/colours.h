// The colours of the scene's points, shared by its drawing and the overlay's legend.
#pragma once

#include <algorithm>

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
