#include "viewer/picking.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <optional>
#include <utility>

#include "lattice/cell_fields.h"

namespace {

// The depth at which the reference cube shows in pixel (x, y), or infinity where it does not. The
// line of sight through the pixel's centre enters the box [-1, 1]^3 through a face toward the eye,
// which culling keeps, and shows it unless the near or far plane cuts it there; from inside the
// cube every face is culled. Slabs along eye + t d, with d scaled to unit depth so that t is depth.
double cube_depth(const Projection& projection, const View& view, int x, int y) {
    const double across = (2 * (x + 0.5) / projection.w - 1) * projection.tangent * projection.aspect;
    const double upward = (1 - 2 * (y + 0.5) / projection.h) * projection.tangent;
    const Point& eye = projection.eye;
    const Point& f = projection.forward;
    const Point& s = projection.side;
    const Point& u = projection.up;
    const Point d = {f.x + across * s.x + upward * u.x, f.y + across * s.y + upward * u.y,
                     f.z + across * s.z + upward * u.z};
    double enter = -INFINITY, leave = INFINITY;
    for (const auto& [from, step] : {std::pair{eye.x, d.x}, {eye.y, d.y}, {eye.z, d.z}}) {
        if (step == 0) {
            if (from < -1 || from > 1) return INFINITY;  // parallel to this slab and outside it
            continue;
        }
        const double t0 = (-1 - from) / step, t1 = (1 - from) / step;
        enter = std::max(enter, std::min(t0, t1));
        leave = std::min(leave, std::max(t0, t1));
    }
    return enter < leave && enter > view.near_plane && enter < view.far_plane ? enter : INFINITY;
}

// What the picking reads of a world: its extent, and the mark of a cell.
template <typename MarkOf>
struct Marks {
    Extent extent;
    MarkOf mark;  // CellMark(const Place&)
};

// Calls visit(place, q, mark) for each cell that draws a point where the window shows it (between
// the near and far planes, its centre inside the window, or the point is clipped whole), close
// enough to pixel (x, y) to cover it or to lie within PICK_RADIUS of its centre. Cells are visited
// in the order they are drawn.
template <typename MarkOf, typename Visit>
void for_each_point_near(const Marks<MarkOf>& marks, const View& view, const Projection& projection, int x, int y,
                         Visit visit) {
    const int columns = marks.extent.columns, rows = marks.extent.rows;
    for (int plane = 0; plane < marks.extent.planes; ++plane) {
        for (int row = 0; row < rows; ++row)
            for (int column = 0; column < columns; ++column) {
                const WindowPoint q = projection(cell_point(columns, rows, column, row, plane));
                if (!(q.depth > view.near_plane && q.depth < view.far_plane)) continue;
                if (!(q.x >= 0 && q.x < projection.w && q.y >= 0 && q.y < projection.h)) continue;
                const double dx = q.x - (x + 0.5), dy = q.y - (y + 0.5);
                const double off = std::max(std::abs(std::floor(q.x) - x), std::abs(std::floor(q.y) - y));
                // Only then is the cell's state read: a big world has few points near the pointer.
                if (off > SMOKE_POINT_SIZE / 2 && dx * dx + dy * dy >= PICK_RADIUS * PICK_RADIUS) continue;
                const Place place{column, row, plane};
                const CellMark mark = marks.mark(place);
                if (mark != CellMark::NONE) visit(place, q, mark);
            }
    }
}

// Whether the square a point draws covers pixel (x, y): the pixels within half its (odd) size of
// the pixel its centre lands in.
bool covers(const WindowPoint& q, CellMark mark, int x, int y) {
    const int half = point_size(mark) / 2;
    return std::abs(std::floor(q.x) - x) <= half && std::abs(std::floor(q.y) - y) <= half;
}

// What pixel (x, y) shows, and at what depth: the front point whose square covers it, or the cube
// when that lies in front, or nothing (infinite depth). At equal depth the first drawn stays on top:
// the cube, then the points in the order visited.
struct Shown {
    std::optional<Place> cell;
    double depth;
};
template <typename MarkOf>
Shown shown_at(const Marks<MarkOf>& marks, const View& view, const Projection& projection, int x, int y) {
    Shown shown = {std::nullopt, cube_depth(projection, view, x, y)};
    for_each_point_near(marks, view, projection, x, y, [&](const Place& place, const WindowPoint& q, CellMark mark) {
        if (covers(q, mark, x, y) && q.depth < shown.depth) shown = {place, q.depth};
    });
    return shown;
}

template <typename MarkOf>
std::optional<Place> pick_in(const Marks<MarkOf>& marks, const View& view, int w, int h, int x, int y) {
    if (x < 0 || x >= w || y < 0 || y >= h) return std::nullopt;
    const Projection projection(view.camera, w, h);
    const Shown here = shown_at(marks, view, projection, x, y);
    if (std::isfinite(here.depth)) return here.cell;  // a point, or the cube: nothing to select

    // An empty pixel: the point nearest its centre within PICK_RADIUS, of points equally near the
    // front one, that the cube does not hide at its own pixel; then what shows there, which is that
    // point or one in front of it, so never a point that shows nowhere.
    struct Nearest {
        int x, y;
        double distance, depth;
    };
    std::optional<Nearest> nearest;
    for_each_point_near(marks, view, projection, x, y, [&](const Place&, const WindowPoint& q, CellMark) {
        const double dx = q.x - (x + 0.5), dy = q.y - (y + 0.5), distance = dx * dx + dy * dy;
        if (distance >= PICK_RADIUS * PICK_RADIUS) return;
        if (nearest && !(distance < nearest->distance || (distance == nearest->distance && q.depth < nearest->depth)))
            return;
        const int at_x = int(std::floor(q.x)), at_y = int(std::floor(q.y));
        if (q.depth >= cube_depth(projection, view, at_x, at_y)) return;
        nearest = Nearest{at_x, at_y, distance, q.depth};
    });
    if (!nearest) return std::nullopt;
    return shown_at(marks, view, projection, nearest->x, nearest->y).cell;
}

template <typename MarkOf>
Marks<MarkOf> marks_of(const Extent& extent, MarkOf mark) {
    return {extent, mark};
}

}  // namespace

std::optional<Place> pick(const Model& model, const View& view, int w, int h, int x, int y, PointView points) {
    const auto mark = [&model, points](const Place& place) { return shown_mark(model, place, points); };
    return pick_in(marks_of(model.extent(), mark), view, w, h, x, y);
}

std::optional<Place> pick(const Lattice& lattice, const View& view, int w, int h, int x, int y) {
    const auto mark = [&lattice](const Place& place) {
        return demo_mark(*lattice.cell(place.column, place.row, place.plane));
    };
    return pick_in(marks_of(extent(lattice), mark), view, w, h, x, y);
}
