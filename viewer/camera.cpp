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

// Whether the reference cube hides a point at depth `depth`: the line of sight from the eye enters
// the box [-1, 1]^3 before reaching the point, or at it (a point on a face toward the eye, which is
// drawn first and keeps the pixel at equal depth), through a face in front of the near plane. The
// faces it enters through face the eye, so culling keeps them; from inside the cube every face is
// culled and nothing is hidden. Slabs: the line eye + t (p - eye), the point at t = 1.
bool cube_hides(const Point& eye, const Point& p, double depth, double near_plane) {
    double enter = -INFINITY, leave = INFINITY;
    for (const auto& [from, to] : {std::pair{eye.x, p.x}, {eye.y, p.y}, {eye.z, p.z}}) {
        const double d = to - from;
        if (d == 0) {
            if (from < -1 || from > 1) return false;  // parallel to this slab and outside it
            continue;
        }
        const double t0 = (-1 - from) / d, t1 = (1 - from) / d;
        enter = std::max(enter, std::min(t0, t1));
        leave = std::min(leave, std::max(t0, t1));
    }
    // Depth grows linearly along the line of sight, from 0 at the eye.
    return enter < leave && enter <= 1 && enter * depth > near_plane;
}

}  // namespace

std::optional<Place> pick(const Lattice& lattice, const View& view, int w, int h, int x, int y) {
    const Projection projection(view.camera, w, h);
    const int columns = lattice.columns(), rows = lattice.rows();
    // A point covers the pixels within half its size of the pixel it lands in; otherwise points are
    // compared by squared distance from the pointer's pixel centre.
    const double pointer_x = x + 0.5, pointer_y = y + 0.5;
    std::optional<Place> covering, nearest;
    double covering_depth = INFINITY, nearest_distance = PICK_RADIUS * PICK_RADIUS, nearest_depth = INFINITY;
    for (int plane = 0; plane < int(lattice.planes.size()); ++plane) {
        const Plane& sheet = *lattice.planes[std::size_t(plane)];
        for (int row = 0; row < rows; ++row)
            for (int column = 0; column < columns; ++column) {
                const Point p = cell_point(columns, rows, column, row, plane);
                const WindowPoint q = projection(p);
                if (!(q.depth > view.near_plane && q.depth < view.far_plane)) continue;  // not drawn
                const double dx = q.x - pointer_x, dy = q.y - pointer_y, distance = dx * dx + dy * dy;
                const double off_x = std::abs(std::floor(q.x) - x), off_y = std::abs(std::floor(q.y) - y);
                // Too far to cover the pixel or to be near it: the cell's state need not be read.
                if (distance >= PICK_RADIUS * PICK_RADIUS && std::max(off_x, off_y) > SMOKE_POINT_SIZE / 2) continue;
                const CellMark mark = cell_mark(*sheet.cells[std::size_t(row) * columns + column]);
                if (mark == CellMark::NONE) continue;
                const int half = (mark == CellMark::SMOKE ? SMOKE_POINT_SIZE : MARKER_POINT_SIZE) / 2;
                const bool covers = off_x <= half && off_y <= half;
                // Strict comparisons: at equal depth the point drawn first stays on top.
                const bool better = covers ? q.depth < covering_depth
                                           : !covering && (distance < nearest_distance ||
                                                           (nearest && distance == nearest_distance && q.depth < nearest_depth));
                if (!better || cube_hides(projection.eye, p, q.depth, view.near_plane)) continue;
                if (covers) {
                    covering = Place{column, row, plane};
                    covering_depth = q.depth;
                } else {
                    nearest = Place{column, row, plane};
                    nearest_distance = distance;
                    nearest_depth = q.depth;
                }
            }
    }
    return covering ? covering : nearest;
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
