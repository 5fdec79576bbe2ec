// Which cell a click selects: what the window shows in the pixel clicked.
#pragma once

#include <optional>

#include "lattice/lattice.h"
#include "models/model.h"
#include "viewer/placement.h"

// How far from the pointer, in pixels, a point may land and still be picked when none covers the
// pointer's pixel: about half the spacing of the running system's cells in its first view.
constexpr double PICK_RADIUS = 5;

// The cell a click on pixel (x, y) of a window of w x h pixels selects, when the lattice is drawn
// from view.camera: the cell whose point shows in that pixel, the front one of those whose square
// covers it; nothing when the reference cube (the box [-1, 1]^3) shows there in front of them. In a
// pixel that shows nothing, the point nearest the pixel's centre within PICK_RADIUS that the cube
// does not hide, then the cell that shows in that point's own pixel: never a point that shows nowhere.
// Only cells that draw a point in the points' view count (shown_mark), with their centre in the window and between the
// near and far planes, as drawn.
std::optional<Place> pick(const Model& model, const View& view, int w, int h, int x, int y,
                          PointView points = PointView::SMOKE);
// The demonstration's bare lattice, by the same rule.
std::optional<Place> pick(const Lattice& lattice, const View& view, int w, int h, int x, int y);
