#include "viewer/placement.h"

#include <algorithm>
#include <cmath>

namespace {

double dot(const Point& a, const Point& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

}  // namespace

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

CellMark shown_mark(const Model& model, const Place& place, PointView view) {
    const CellMark mark = model.mark(place);
    if (view == PointView::SMOKE || mark == CellMark::SOLID || !model.given_speed()) return mark;
    return CellMark::SMOKE;
}
