#include "viewer/camera.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <optional>
#include <utility>

namespace {

// A pointer term divided by a window dimension. A window with no extent along that axis has no
// pixels to drag across, so the term is 0 there rather than an infinity.
double per_pixel(float term, int size) { return size > 0 ? double(term) / size : 0.0; }

double radians(float degrees) { return degrees * PI / 180; }

double dot(const Point& a, const Point& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

Point unit(const Point& v) {
    const double length = std::sqrt(dot(v, v));
    return {v.x / length, v.y / length, v.z / length};
}

}  // namespace

float wrap_degrees(float degrees) {
    if (!std::isfinite(degrees)) return 0.0f;
    // fmod is exact, as each subtraction of 360 is; only the final addition of 360 rounds.
    float wrapped = std::fmod(degrees, 360.0f);
    if (wrapped < 0.0f) wrapped += 360.0f;
    // A tiny negative angle plus 360 rounds up to 360, which is the same direction as 0.
    return wrapped >= 360.0f ? 0.0f : wrapped;
}

CameraPose orbit(const CameraPose& press, const Drag& drag) {
    CameraPose camera = press;
    const float azimuth = static_cast<float>(press.azimuth + per_pixel(float(drag.dx * 360.0), drag.w));
    camera.azimuth = wrap_degrees(azimuth);
    const float elevation = static_cast<float>(press.elevation + per_pixel(float(drag.dy * 90.0), drag.h));
    camera.elevation = std::clamp(elevation, MIN_ELEVATION, MAX_ELEVATION);
    return camera;
}

CameraPose zoom(const CameraPose& press, const Drag& drag) {
    CameraPose camera = press;
    const float distance =
        static_cast<float>(press.distance - per_pixel(float(0.5 * press.distance * drag.dy), drag.h));
    camera.distance = std::clamp(distance, MIN_DISTANCE, MAX_DISTANCE);
    return camera;
}

CameraPose pan(const CameraPose& press, float azimuth, const Drag& drag) {
    CameraPose camera = press;
    const float s = static_cast<float>(std::sin(radians(azimuth)));
    const float c = static_cast<float>(std::cos(radians(azimuth)));
    const float sideways_x = static_cast<float>(per_pixel(float(drag.dx * double(-s)), drag.w));
    const float sideways_y = static_cast<float>(per_pixel(float(drag.dx * double(c)), drag.w));
    camera.target_x = static_cast<float>(
        press.target_x + 100 * (per_pixel(float(drag.dy * double(c)), drag.h) + sideways_x));
    camera.target_y = static_cast<float>(
        press.target_y + 100 * (per_pixel(float(drag.dy * double(s)), drag.h) + sideways_y));
    return camera;
}

double fovy_degrees(int w, int h) {
    // A window of no size has no shape: draw it as a square rather than divide by zero.
    w = std::max(w, 1);
    h = std::max(h, 1);
    return std::atan(std::tan(45 * PI / 360) * h / w) * (360 / PI);
}

double aspect_ratio(int w, int h) { return double(float(std::max(w, 1))) / std::max(h, 1); }

Point eye_position(const CameraPose& camera) {
    const double el = radians(camera.elevation);
    const double az = radians(camera.azimuth);
    return {std::cos(el) * (std::cos(az) * camera.distance) + camera.target_x,
            std::cos(el) * (std::sin(az) * camera.distance) + camera.target_y,
            std::sin(el) * camera.distance + PIVOT_Z};
}

Projection::Projection(const CameraPose& camera, int w, int h) : w(w), h(h) {
    // gluLookAt's frame: forward toward the pivot, side = forward x up (0, 0, 1), then the true up.
    eye = eye_position(camera);
    forward = unit({camera.target_x - eye.x, camera.target_y - eye.y, PIVOT_Z - eye.z});
    side = unit({forward.y, -forward.x, 0});
    up = {side.y * forward.z - side.z * forward.y, side.z * forward.x - side.x * forward.z,
          side.x * forward.y - side.y * forward.x};
    // gluPerspective: the vertical half field's tangent, and the window's aspect ratio.
    tangent = std::tan(fovy_degrees(w, h) * PI / 360);
    aspect = aspect_ratio(w, h);
}

WindowPoint Projection::operator()(const Point& p) const {
    const Point d = {p.x - eye.x, p.y - eye.y, p.z - eye.z};
    const double depth = dot(forward, d);
    const double ndc_x = dot(side, d) / (depth * tangent * aspect);
    const double ndc_y = dot(up, d) / (depth * tangent);
    return {(ndc_x + 1) * w / 2, (1 - ndc_y) * h / 2, depth};
}

WindowPoint project(const CameraPose& camera, int w, int h, const Point& p) { return Projection(camera, w, h)(p); }

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

// Calls visit(place, q, mark) for each cell that draws a point where the window shows it (between
// the near and far planes, its centre inside the window, or the point is clipped whole), close
// enough to pixel (x, y) to cover it or to lie within PICK_RADIUS of its centre. Cells are visited
// in the order they are drawn.
template <typename Visit>
void for_each_point_near(const Lattice& lattice, const View& view, const Projection& projection, int x, int y,
                         Visit visit) {
    const int columns = lattice.columns(), rows = lattice.rows();
    for (int plane = 0; plane < int(lattice.planes.size()); ++plane) {
        const Plane& sheet = *lattice.planes[std::size_t(plane)];
        for (int row = 0; row < rows; ++row)
            for (int column = 0; column < columns; ++column) {
                const WindowPoint q = projection(cell_point(columns, rows, column, row, plane));
                if (!(q.depth > view.near_plane && q.depth < view.far_plane)) continue;
                if (!(q.x >= 0 && q.x < projection.w && q.y >= 0 && q.y < projection.h)) continue;
                const double dx = q.x - (x + 0.5), dy = q.y - (y + 0.5);
                const double off = std::max(std::abs(std::floor(q.x) - x), std::abs(std::floor(q.y) - y));
                // Only then is the cell's state read: a big world has few points near the pointer.
                if (off > SMOKE_POINT_SIZE / 2 && dx * dx + dy * dy >= PICK_RADIUS * PICK_RADIUS) continue;
                const CellMark mark = cell_mark(*sheet.cells[std::size_t(row) * columns + column]);
                if (mark != CellMark::NONE) visit(Place{column, row, plane}, q, mark);
            }
    }
}

// Whether the square a point draws covers pixel (x, y): the pixels within half its (odd) size of
// the pixel its centre lands in.
bool covers(const WindowPoint& q, CellMark mark, int x, int y) {
    const int half = (mark == CellMark::SMOKE ? SMOKE_POINT_SIZE : MARKER_POINT_SIZE) / 2;
    return std::abs(std::floor(q.x) - x) <= half && std::abs(std::floor(q.y) - y) <= half;
}

// What pixel (x, y) shows, and at what depth: the front point whose square covers it, or the cube
// when that lies in front, or nothing (infinite depth). At equal depth the first drawn stays on top:
// the cube, then the points in the order visited.
struct Shown {
    std::optional<Place> cell;
    double depth;
};
Shown shown_at(const Lattice& lattice, const View& view, const Projection& projection, int x, int y) {
    Shown shown = {std::nullopt, cube_depth(projection, view, x, y)};
    for_each_point_near(lattice, view, projection, x, y, [&](const Place& place, const WindowPoint& q, CellMark mark) {
        if (covers(q, mark, x, y) && q.depth < shown.depth) shown = {place, q.depth};
    });
    return shown;
}

}  // namespace

std::optional<Place> pick(const Lattice& lattice, const View& view, int w, int h, int x, int y) {
    if (x < 0 || x >= w || y < 0 || y >= h) return std::nullopt;
    const Projection projection(view.camera, w, h);
    const Shown here = shown_at(lattice, view, projection, x, y);
    if (std::isfinite(here.depth)) return here.cell;  // a point, or the cube: nothing to select

    // An empty pixel: the point nearest its centre within PICK_RADIUS, of points equally near the
    // front one, that the cube does not hide at its own pixel; then what shows there, which is that
    // point or one in front of it, so never a point that shows nowhere.
    struct Nearest {
        int x, y;
        double distance, depth;
    };
    std::optional<Nearest> nearest;
    for_each_point_near(lattice, view, projection, x, y, [&](const Place&, const WindowPoint& q, CellMark) {
        const double dx = q.x - (x + 0.5), dy = q.y - (y + 0.5), distance = dx * dx + dy * dy;
        if (distance >= PICK_RADIUS * PICK_RADIUS) return;
        if (nearest && !(distance < nearest->distance || (distance == nearest->distance && q.depth < nearest->depth)))
            return;
        const int at_x = int(std::floor(q.x)), at_y = int(std::floor(q.y));
        if (q.depth >= cube_depth(projection, view, at_x, at_y)) return;
        nearest = Nearest{at_x, at_y, distance, q.depth};
    });
    if (!nearest) return std::nullopt;
    return shown_at(lattice, view, projection, nearest->x, nearest->y).cell;
}

Point cell_point(int columns, int rows, int column, int row, int plane) {
    return {-(plane + 1.0), -double(column - columns / 2), double(row - rows / 2)};
}

View initial_view(int columns, int rows, int planes) {
    // Seen along -x, as the default camera looks, a plane bounds those behind it, which lie farther
    // away on the same lines of sight, so the corners of the world decide what fits: each must lie
    // within the window's horizontal field of view of 45 degrees and the first window's vertical one,
    // less a margin. The cube, within 4 of the pivot, never decides.
    const double tan_x = 0.95 * std::tan(45 * PI / 360);
    const double tan_y = tan_x * FIRST_HEIGHT / FIRST_WIDTH;
    double fit = 0, reach = 0;  // the distance that fits, and the farthest corner from the pivot
    for (const int column : {0, columns - 1})
        for (const int row : {0, rows - 1})
            for (const int plane : {0, planes - 1}) {
                const Point p = cell_point(columns, rows, column, row, plane);
                const Point from_pivot = {p.x, p.y, p.z - PIVOT_Z};
                fit = std::max(fit, p.x + std::max(std::abs(from_pivot.y) / tan_x, std::abs(from_pivot.z) / tan_y));
                reach = std::max(reach, std::sqrt(dot(from_pivot, from_pivot)));
            }
    View view = {DEFAULT_CAMERA, 1, 1000};
    view.camera.distance = static_cast<float>(std::clamp(fit, double(DEFAULT_CAMERA.distance), double(MAX_DISTANCE)));
    const double distance = view.camera.distance;
    view.far_plane = std::max(10 * distance, 1.05 * (distance + reach));
    return view;
}
