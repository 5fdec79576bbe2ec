// Where the world's cells sit in the scene, the view a world opens with, and which cells draw a
// point: what the drawing and the picking agree on.
#pragma once

#include "models/model.h"
#include "viewer/camera.h"

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

// The side, in pixels, of the square a point covers: an odd size, centred on the pixel the point
// lands in.
constexpr int SMOKE_POINT_SIZE = 3;
constexpr int MARKER_POINT_SIZE = 1;
// What a cell's mark (models/model.h) draws: an obstacle as large as smoke, so that it reads as
// solid; a marker small. A marker under another point would lie at the same depth and fail the depth
// test, so a cell draws one point only. The drawing and the picking both ask this, so that a click
// can only select what shows.
constexpr int point_size(CellMark mark) { return mark == CellMark::MARKER ? MARKER_POINT_SIZE : SMOKE_POINT_SIZE; }

// What the points show: each cell's smoke, or in a world with a flow its speed, when every cell of
// the flow draws a full point and an obstacle stays grey.
enum class PointView { SMOKE, SPEED };
// A cell's mark as view draws it: Model::mark, or in the speed view SMOKE's point for every cell of
// the flow. A model without a flow draws its smoke in either.
CellMark shown_mark(const Model& model, const Place& place, PointView view);
