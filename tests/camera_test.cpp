#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <random>
#include <string>
#include <utility>

#include "lattice/lattice.h"
#include "viewer/camera.h"
#include "viewer/picking.h"
#include "viewer/placement.h"
#include "testing.h"

namespace {

// Orbit: a full width is a full turn, right lowers the azimuth; the elevation is clamped to 89 and
// -5. Zoom: up by the height halves the distance, which stays from 1 to MAX_DISTANCE. Pan: the
// pivot moves along the screen.
TEST(CameraDrag, OrbitZoomAndPanTable) {
    enum Kind { ORBIT, ZOOM, PAN };
    struct Case {
        Kind kind;
        float azimuth, elevation;
        Drag drag;
        CameraPose expected;  // elevation, azimuth, distance, target x, target y
    };
    const Case cases[] = {
        {ORBIT, 0, 0, {-100, 0, 800, 600}, {0, 315, 100, 0, 0}},
        {ORBIT, 0, 0, {100, 0, 800, 600}, {0, 45, 100, 0, 0}},
        {ORBIT, 270, 0, {200, 0, 800, 600}, {0, 0, 100, 0, 0}},  // exactly 360 becomes 0
        {ORBIT, 90, 0, {-200, 0, 800, 600}, {0, 0, 100, 0, 0}},  // exactly 0 stays 0
        {ORBIT, 0, 0, {-8000, 0, 800, 600}, {0, 0, 100, 0, 0}},  // ten turns
        {ORBIT, 0, 0, {0, 600, 800, 600}, {89, 0, 100, 0, 0}},  // 90, clamped
        {ORBIT, 0, 0, {0, 300, 800, 600}, {45, 0, 100, 0, 0}},
        {ORBIT, 0, 0, {0, -60, 800, 600}, {-5, 0, 100, 0, 0}},  // -9, clamped
        {ORBIT, 0, 80, {0, 60, 800, 600}, {89, 0, 100, 0, 0}},  // exactly 89
        {ORBIT, 0, 4, {0, -60, 800, 600}, {-5, 0, 100, 0, 0}},  // exactly -5
        {ZOOM, 0, 0, {0, 600, 800, 600}, {0, 0, 50, 0, 0}},
        {ZOOM, 0, 0, {0, -600, 800, 600}, {0, 0, 150, 0, 0}},
        {ZOOM, 0, 0, {0, 1200, 800, 600}, {0, 0, 1, 0, 0}},  // 0, clamped
        {ZOOM, 0, 0, {555, 300, 800, 600}, {0, 0, 75, 0, 0}},  // sideways changes nothing
        {ZOOM, 0, 0, {0, -100000, 800, 1}, {0, 0, MAX_DISTANCE, 0, 0}},
        {PAN, 0, 0, {-800, 0, 800, 600}, {0, 0, 100, 0, -100}},
        {PAN, 0, 0, {0, 300, 800, 600}, {0, 0, 100, 50, 0}},
        {PAN, 90, 0, {-400, 0, 800, 600}, {0, 90, 100, 50, 0}},  // at azimuth 90 the screen's right is world -x
    };
    for (const Case& c : cases) {
        CameraPose start = DEFAULT_CAMERA;
        start.azimuth = c.azimuth;
        start.elevation = c.elevation;
        const CameraPose got = c.kind == ORBIT ? orbit(start, c.drag) : c.kind == ZOOM ? zoom(start, c.drag)
                                                                                      : pan(start, c.azimuth, c.drag);
        const std::string what = std::to_string(c.kind) + " by " + std::to_string(c.drag.dx) + "," + std::to_string(c.drag.dy);
        EXPECT_EQ(got.elevation, c.expected.elevation) << what;
        EXPECT_EQ(got.azimuth, c.expected.azimuth) << what;
        EXPECT_EQ(got.distance, c.expected.distance) << what;
        EXPECT_NEAR(got.target_x, c.expected.target_x, 1e-4) << what;
        EXPECT_NEAR(got.target_y, c.expected.target_y, 1e-4) << what;
    }
    EXPECT_GT(MAX_DISTANCE, 1000.0f);  // beyond the far clipping plane: nothing visible is cut off
}

TEST(Orbit, WrapMatchesRepeatedFloatSteps) {
    // The plain loop that the wrap stands for: subtract 360 while at least 360, then add it while
    // negative, rounding to float each time.
    const auto loop = [](float a) {
        while (a >= 360.0f) a -= 360.0f;
        while (a < 0.0f) a += 360.0f;
        return a;
    };
    std::mt19937 random(7);
    std::uniform_real_distribution<float> angle(-5000.0f, 5000.0f);
    for (int i = 0; i < 100000; ++i) {
        const float a = angle(random);
        const float expected = loop(a) == 360.0f ? 0.0f : loop(a);
        ASSERT_EQ(wrap_degrees(a), expected) << a;
    }
    EXPECT_EQ(wrap_degrees(-1e-6f), 0.0f);  // the loop would give 360, outside [0, 360)
    EXPECT_EQ(wrap_degrees(1e30f), std::fmod(1e30f, 360.0f));  // the loop would never end
    EXPECT_EQ(wrap_degrees(INFINITY), 0.0f);
    EXPECT_EQ(wrap_degrees(NAN), 0.0f);
}

TEST(Projection, HorizontalFieldOfViewIs45Degrees) {
    EXPECT_NEAR(fovy_degrees(800, 600), 34.5159, 5e-5);
    EXPECT_NEAR(fovy_degrees(600, 800), 57.8224, 5e-5);
    EXPECT_DOUBLE_EQ(fovy_degrees(500, 500), 45.0);
    EXPECT_DOUBLE_EQ(aspect_ratio(800, 600), 800.0 / 600);
    EXPECT_DOUBLE_EQ(aspect_ratio(600, 800), 0.75);
}

TEST(Projection, EyeOrbitsThePivot) {
    const Point e = eye_position(DEFAULT_CAMERA);
    EXPECT_DOUBLE_EQ(e.x, 100);
    EXPECT_DOUBLE_EQ(e.y, 0);
    EXPECT_DOUBLE_EQ(e.z, 2);
    const Point side = eye_position({0, 90, 100, 0, 0});
    EXPECT_NEAR(side.x, 0, 1e-12);
    EXPECT_DOUBLE_EQ(side.y, 100);
    EXPECT_DOUBLE_EQ(side.z, 2);
    CameraPose high = DEFAULT_CAMERA;
    high.elevation = MAX_ELEVATION;
    high.target_x = 3;
    const Point top = eye_position(high);
    EXPECT_GT(top.x - 3, 1.0);  // still off the vertical through the pivot: the up vector stays valid
    EXPECT_NEAR(top.z - PIVOT_Z, 100 * std::sin(89 * PI / 180), 1e-9);
}

TEST(Projection, ThePivotIsTheCentreAndTheWidthSpans45Degrees) {
    const auto expect_at = [](const Point& p, double x, double y, double depth) {
        const WindowPoint q = project(DEFAULT_CAMERA, 800, 600, p);
        EXPECT_NEAR(q.x, x, 1e-9);
        EXPECT_NEAR(q.y, y, 1e-9);
        EXPECT_NEAR(q.depth, depth, 1e-9);
    };
    const double edge = std::tan(22.5 * PI / 180);
    expect_at({0, 0, PIVOT_Z}, 400, 300, 100);
    expect_at({0, 100 * edge, PIVOT_Z}, 800, 300, 100);  // at azimuth 0 the window's right is +y
    expect_at({0, 0, PIVOT_Z + 75 * edge}, 400, 0, 100);  // the top, a height of 3/4 the width
    expect_at({-100, -100 * edge, PIVOT_Z}, 200, 300, 200);  // twice as deep, half as far out
}

TEST(InitialView, EveryWorldIsWholeInTheFirstWindowAndWithinTheFarPlaneFromAnyOrbit) {
    struct Size {
        int columns, rows, planes;
    };
    for (const Size& world : {Size{512, 512, 1}, Size{37, 23, 3}, Size{1, 2000, 1}, Size{3000, 1, 1},
                              Size{2, 2, 1000}, Size{1, 1, 1}, Size{51, 77, 2}}) {
        const View view = initial_view(world.columns, world.rows, world.planes);
        const Point pivot = {view.camera.target_x, view.camera.target_y, PIVOT_Z};
        for (const int column : {0, world.columns - 1})
            for (const int row : {0, world.rows - 1})
                for (const int plane : {0, world.planes - 1}) {
                    const Point p = cell_point(world.columns, world.rows, column, row, plane);
                    const WindowPoint q = project(view.camera, FIRST_WIDTH, FIRST_HEIGHT, p);
                    const std::string where = std::to_string(world.columns) + "x" + std::to_string(world.rows) +
                                              "x" + std::to_string(world.planes) + " cell " + std::to_string(column) +
                                              "," + std::to_string(row) + "," + std::to_string(plane);
                    EXPECT_TRUE(q.x >= 0 && q.x < FIRST_WIDTH && q.y >= 0 && q.y < FIRST_HEIGHT) << where;
                    EXPECT_GT(q.depth, view.near_plane) << where;
                    const double from_pivot = std::hypot(p.x - pivot.x, p.y - pivot.y, p.z - pivot.z);
                    EXPECT_LT(view.camera.distance + from_pivot, view.far_plane) << where;
                }
    }
}

}  // namespace


// What a click takes, case by case: the point that shows in the pixel, the front one of a tie, else
// the nearest point within reach that the cube does not hide; nothing on the cube or on black.
TEST(Pick, TakesWhatThePixelShowsElseTheNearestVisiblePointInReach) {
    const World sheet, two_planes = world_of(GRID_SIZE, GRID_SIZE, 2, {{25, 27, 1, 1.0f}}),
                       behind_cube = world_of(GRID_SIZE, GRID_SIZE, 2, {{25, 25, 1, 1.0f}}),
                       edge_world = world_of(GRID_SIZE, GRID_SIZE, 2, {{25, 49, 0, 0.42f}}),
                       block = world_of(37, 23, 3, {{30, 10, 1, 0.5f}});
    const auto view_of = [](const World& w, float azimuth = 0, float elevation = 0, float distance = 0) {
        View v = initial_view(w.columns, w.rows, w.planes);
        v.camera.azimuth = azimuth;
        v.camera.elevation = elevation;
        if (distance > 0) v.camera.distance = distance;
        return v;
    };
    View inside = view_of(sheet);  // the eye among the cells: points behind the near plane
    inside.camera.target_x = -100;
    inside.camera.distance = 99.5f;
    struct Case {
        const char* what;
        const World& world;
        View view;
        std::optional<Place> aim;  // the pixel is this cell's plus (x, y), else (x, y) itself
        int x, y;
        std::optional<Place> expected;
        int w = 800, h = 600;
    };
    const Case cases[] = {
        {"the black corner", sheet, view_of(sheet), {}, 10, 10, {}},
        {"just beyond the corner cell", sheet, view_of(sheet), Place{0, 0, 0}, 2, 2, Place{0, 0, 0}},
        {"twice the reach beyond it", sheet, view_of(sheet), Place{0, 0, 0}, 10, 0, {}},
        {"a tie on the line of sight: the front one", two_planes, view_of(two_planes), {}, 400, 300, Place{25, 27, 0}},
        {"behind the near plane", sheet, inside, {}, 400, 300, {}},
        {"the marker over smoke behind", block, view_of(block), Place{30, 10, 0}, 0, 0, Place{30, 10, 0}},
        {"the smoke's square beside the marker", block, view_of(block), Place{30, 10, 0}, 1, 0, Place{30, 10, 1}},
        {"a middle cell without smoke", block, view_of(block, 330), Place{20, 10, 1}, 0, 0, Place{21, 10, 0}},
        {"the cube's face", sheet, view_of(sheet), {}, 400, 319, {}},
        {"near the cube's edge", sheet, view_of(sheet), {}, 400, 312, {}},
        {"a cell behind the cube", sheet, view_of(sheet), Place{25, 25, 0}, 0, 0, {}},
        {"a cell beside the cube", sheet, view_of(sheet), Place{27, 25, 0}, 0, 0, Place{27, 25, 0}},
        {"from behind, on the blue face", sheet, view_of(sheet, 180), Place{25, 25, 0}, 0, 0, {}},
        {"from behind, beside it", sheet, view_of(sheet, 180), Place{25, 27, 0}, 0, 0, Place{25, 27, 0}},
        {"from behind, a plane in front of it", behind_cube, view_of(behind_cube, 180), Place{25, 25, 1}, 0, 0,
         Place{25, 25, 1}},
        {"smoke behind the cube head on", behind_cube, view_of(behind_cube), Place{25, 25, 1}, 0, 0, {}},
        {"smoke behind the cube from above", behind_cube, view_of(behind_cube, 0, 60), Place{25, 25, 1}, 0, 0,
         Place{25, 25, 1}},
        {"a point whose centre is outside the window", edge_world, {{20, 30, 6, 0, 0}, 1, 1000}, {}, 0, 24, {},
         400, 300},
        // From afar the points crowd: the nearest point in reach lies behind the cube, so the next
        // one that shows is taken.
        {"the nearest in reach hidden by the cube", sheet, view_of(sheet, 0, 0, 180), {}, 399, 304, Place{25, 27, 0}},
        {"only a hidden point in reach", sheet, view_of(sheet), {}, 411, 318, {}},
    };
    const auto text = [](const std::optional<Place>& p) {
        return p ? std::to_string(p->column) + "," + std::to_string(p->row) + "," + std::to_string(p->plane) : "nothing";
    };
    for (const Case& c : cases) {
        const auto lattice = make_world(c.world);
        int x = c.x, y = c.y;
        if (c.aim) {
            const WindowPoint q = project(c.view.camera, c.w, c.h,
                                          cell_point(c.world.columns, c.world.rows, c.aim->column, c.aim->row, c.aim->plane));
            x += int(std::floor(q.x));
            y += int(std::floor(q.y));
        }
        EXPECT_EQ(text(pick(*lattice, c.view, c.w, c.h, x, y)), text(c.expected)) << c.what << " at " << x << "," << y;
    }
}

// Sweeps: every front cell is picked at its own pixel, and whatever is picked shows somewhere.
TEST(Pick, EachFrontCellAtItsPixelAndNeverACellThatShowsNowhere) {
    const auto same = [](const std::optional<Place>& a, const Place& b) {
        return a && a->column == b.column && a->row == b.row && a->plane == b.plane;
    };
    for (const World& world : {world_of(32, 32, 8, {{16, 31, 4, 0.42f}}), world_of(50, 50, 2, {{25, 49, 0, 0.42f}})}) {
        const auto lattice = make_world(world);
        for (const float azimuth : {0.0f, 20.0f}) {
            View view = initial_view(world.columns, world.rows, world.planes);
            view.camera.azimuth = azimuth;
            for (int row = 0; row < world.rows; ++row)
                for (int column = 0; column < world.columns; ++column) {
                    const Point p = cell_point(world.columns, world.rows, column, row, 0);
                    if (std::abs(p.y) <= 3 && std::abs(p.z) <= 3) continue;  // behind the cube, or at its edge
                    const WindowPoint q = project(view.camera, 800, 600, p);
                    EXPECT_TRUE(same(pick(*lattice, view, 800, 600, int(std::floor(q.x)), int(std::floor(q.y))),
                                     {column, row, 0}))
                        << world.planes << " planes, azimuth " << azimuth << ": cell " << column << "," << row;
                }
        }
    }
    // Smoke in every cell of four planes: near the centre the squares overlap, and a click between
    // points must not reach past the front ones to a point they cover whole.
    const auto lattice = make_world(world_of(20, 20, 4, {}));
    for (const auto& plane : lattice->planes)
        for (const auto& cell : plane->cells) cell->smoke = 0.7f;
    const View view = initial_view(20, 20, 4);
    const auto shows = [&](const Place& cell) {
        const WindowPoint q = project(view.camera, 400, 300, cell_point(20, 20, cell.column, cell.row, cell.plane));
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (same(pick(*lattice, view, 400, 300, int(std::floor(q.x)) + dx, int(std::floor(q.y)) + dy), cell))
                    return true;
        return false;
    };
    for (int y = 100; y < 135; ++y)
        for (int x = 165; x < 200; ++x)
            if (const std::optional<Place> picked = pick(*lattice, view, 400, 300, x, y)) {
                EXPECT_TRUE(shows(*picked)) << x << "," << y;
            }
}
