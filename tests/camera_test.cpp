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
#include "world_of.h"

namespace {

CameraPose at_azimuth(float azimuth) {
    CameraPose c = DEFAULT_CAMERA;
    c.azimuth = azimuth;
    return c;
}

TEST(Orbit, AFullWidthIsAFullTurnAndRightLowersTheAzimuth) {
    EXPECT_EQ(orbit(DEFAULT_CAMERA, {-100, 0, 800, 600}).azimuth, 315.0f);
    EXPECT_EQ(orbit(DEFAULT_CAMERA, {100, 0, 800, 600}).azimuth, 45.0f);
    EXPECT_EQ(orbit(at_azimuth(270), {200, 0, 800, 600}).azimuth, 0.0f);  // exactly 360 becomes 0
    EXPECT_EQ(orbit(at_azimuth(90), {-200, 0, 800, 600}).azimuth, 0.0f);  // exactly 0 stays 0
    EXPECT_EQ(orbit(DEFAULT_CAMERA, {-8000, 0, 800, 600}).azimuth, 0.0f);  // ten turns
    const CameraPose c = orbit(DEFAULT_CAMERA, {-100, 0, 800, 600});
    EXPECT_EQ(c.distance, DEFAULT_CAMERA.distance);
    EXPECT_EQ(c.elevation, 0.0f);
}

TEST(Orbit, ElevationIsClampedTo89AndMinus5) {
    EXPECT_EQ(orbit(DEFAULT_CAMERA, {0, 600, 800, 600}).elevation, 89.0f);  // 90, clamped
    EXPECT_EQ(orbit(DEFAULT_CAMERA, {0, 300, 800, 600}).elevation, 45.0f);
    EXPECT_EQ(orbit(DEFAULT_CAMERA, {0, -60, 800, 600}).elevation, -5.0f);  // -9, clamped
    CameraPose press = DEFAULT_CAMERA;
    press.elevation = 80;
    EXPECT_EQ(orbit(press, {0, 60, 800, 600}).elevation, 89.0f);  // exactly 89
    press.elevation = 4;
    EXPECT_EQ(orbit(press, {0, -60, 800, 600}).elevation, -5.0f);  // exactly -5
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

TEST(Zoom, UpByTheHeightHalvesAndTheDistanceStaysAtLeastOne) {
    EXPECT_EQ(zoom(DEFAULT_CAMERA, {0, 600, 800, 600}).distance, 50.0f);
    EXPECT_EQ(zoom(DEFAULT_CAMERA, {0, -600, 800, 600}).distance, 150.0f);
    EXPECT_EQ(zoom(DEFAULT_CAMERA, {0, 1200, 800, 600}).distance, 1.0f);  // 0, clamped
    EXPECT_EQ(zoom(DEFAULT_CAMERA, {555, 300, 800, 600}).distance, 75.0f);  // sideways changes nothing
}

TEST(Zoom, RepeatedZoomsOutStopAtTheBound) {
    CameraPose camera = DEFAULT_CAMERA;
    for (int drag = 0; drag < 100; ++drag) camera = zoom(camera, {0, -100000, 800, 1});
    EXPECT_EQ(camera.distance, MAX_DISTANCE);
    EXPECT_GT(MAX_DISTANCE, 1000.0f);  // beyond the far clipping plane: nothing visible is cut off
}

TEST(Pan, ThePivotMovesAlongTheScreenAndTowardTheEye) {
    const CameraPose right = pan(DEFAULT_CAMERA, 0, {-800, 0, 800, 600});
    EXPECT_EQ(right.target_y, -100.0f);
    EXPECT_EQ(right.target_x, 0.0f);
    const CameraPose up = pan(DEFAULT_CAMERA, 0, {0, 300, 800, 600});
    EXPECT_EQ(up.target_x, 50.0f);
    EXPECT_EQ(up.target_y, 0.0f);
    // At azimuth 90 the screen's right is world -x.
    const CameraPose turned = pan(at_azimuth(90), 90, {-400, 0, 800, 600});
    EXPECT_NEAR(turned.target_x, 50.0f, 1e-4);
    EXPECT_NEAR(turned.target_y, 0.0f, 1e-4);
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
    const Point side = eye_position(at_azimuth(90));
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

TEST(Projection, AWindowWithoutSizeKeepsEverythingFinite) {
    for (const auto& [w, h] : {std::pair{0, 0}, {0, 600}, {800, 0}, {-3, 5}}) {
        EXPECT_TRUE(std::isfinite(fovy_degrees(w, h)));
        EXPECT_GT(fovy_degrees(w, h), 0.0);
        EXPECT_TRUE(std::isfinite(aspect_ratio(w, h)));
        EXPECT_GT(aspect_ratio(w, h), 0.0);
        for (const Drag& d : {Drag{-100, 50, w, h}, Drag{100000, -100000, w, h}}) {
            for (const CameraPose& c : {orbit(DEFAULT_CAMERA, d), zoom(DEFAULT_CAMERA, d),
                                        pan(DEFAULT_CAMERA, 0, d)}) {
                EXPECT_TRUE(std::isfinite(c.azimuth) && std::isfinite(c.elevation) &&
                            std::isfinite(c.distance) && std::isfinite(c.target_x) &&
                            std::isfinite(c.target_y));
                EXPECT_GE(c.azimuth, 0.0f);
                EXPECT_LT(c.azimuth, 360.0f);
            }
        }
    }
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

TEST(InitialView, TheRunningSystemKeepsItsCameraAndDepths) {
    const View view = initial_view(GRID_SIZE, GRID_SIZE, PLANE_COUNT);
    EXPECT_EQ(view.camera.elevation, DEFAULT_CAMERA.elevation);
    EXPECT_EQ(view.camera.azimuth, DEFAULT_CAMERA.azimuth);
    EXPECT_EQ(view.camera.distance, 100.0f);
    EXPECT_EQ(view.camera.target_x, DEFAULT_CAMERA.target_x);
    EXPECT_EQ(view.camera.target_y, DEFAULT_CAMERA.target_y);
    EXPECT_EQ(view.near_plane, 1.0);
    EXPECT_EQ(view.far_plane, 1000.0);
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

namespace {

struct PixelAt {
    int x, y;
};

// The pixel a cell's point lands in, as the pointer would be on it.
PixelAt pixel_of_cell(const Lattice& lattice, const View& view, const Place& cell) {
    const WindowPoint q =
        project(view.camera, 800, 600, cell_point(lattice.columns(), lattice.rows(), cell.column, cell.row, cell.plane));
    return {int(std::floor(q.x)), int(std::floor(q.y))};
}

std::optional<Place> pick_at(const Lattice& lattice, const View& view, PixelAt at) {
    return pick(lattice, view, 800, 600, at.x, at.y);
}

bool same(const std::optional<Place>& a, const Place& b) {
    return a && a->column == b.column && a->row == b.row && a->plane == b.plane;
}

std::string text(const std::optional<Place>& p) {
    return p ? std::to_string(p->column) + "," + std::to_string(p->row) + "," + std::to_string(p->plane) : "nothing";
}

}  // namespace

TEST(Pick, EachFrontCellAtItsOwnPixelInAWorldOfPlanes) {
    // Every cell of the front plane draws a marker (none has a plane in front of it), and a plane
    // behind lands a fraction of a pixel away, drawing nothing there: a click on a marker is that cell.
    for (const World& world : {world_of(32, 32, 8, {{16, 31, 4, 0.42f}}), world_of(50, 50, 2, {{25, 49, 0, 0.42f}})}) {
        const auto lattice = make_world(world);
        for (const float azimuth : {0.0f, 20.0f}) {
            View view = initial_view(world.columns, world.rows, world.planes);
            view.camera.azimuth = azimuth;
            for (int row = 0; row < world.rows; ++row)
                for (int column = 0; column < world.columns; ++column) {
                    const Place cell = {column, row, 0};
                    const Point p = cell_point(world.columns, world.rows, column, row, 0);
                    if (std::abs(p.y) <= 3 && std::abs(p.z) <= 3) continue;  // behind the cube, or at its edge
                    const std::optional<Place> picked = pick_at(*lattice, view, pixel_of_cell(*lattice, view, cell));
                    EXPECT_TRUE(same(picked, cell)) << world.planes << " planes, azimuth " << azimuth << ": cell "
                                                    << text(cell) << " picked " << text(picked);
                }
        }
    }
}

TEST(Pick, APointBehindShowsAroundTheFrontOneAndIsPickedThere) {
    // Head on, the smoke of 30,10,1 lands under the marker of 30,10,0: the marker's own pixel is the
    // marker's, and the rest of the green square around it belongs to the cell behind.
    const auto lattice = make_world(world_of(37, 23, 3, {{30, 10, 1, 0.5f}}));
    const View view = initial_view(37, 23, 3);
    const PixelAt marker = pixel_of_cell(*lattice, view, {30, 10, 0}), smoke = pixel_of_cell(*lattice, view, {30, 10, 1});
    ASSERT_LE(std::abs(marker.x - smoke.x) + std::abs(marker.y - smoke.y), 1);
    EXPECT_TRUE(same(pick_at(*lattice, view, marker), {30, 10, 0}));
    // A pixel next to the marker's, inside the green square: the marker covers only its own.
    const PixelAt beside = marker.x == smoke.x ? PixelAt{marker.x + 1, marker.y} : PixelAt{smoke.x, marker.y};
    EXPECT_TRUE(same(pick_at(*lattice, view, beside), {30, 10, 1}));
    // A cell of the middle plane without smoke draws nothing, and is not picked even on its own pixel,
    // where the planes stand apart.
    View orbited = view;
    orbited.camera.azimuth = 330;
    EXPECT_FALSE(same(pick_at(*lattice, orbited, pixel_of_cell(*lattice, orbited, {20, 10, 1})), {20, 10, 1}));
}

TEST(Pick, NothingAwayFromThePointsAndTheFrontOneOfATie) {
    const auto sheet = make_world();
    const View view = initial_view(GRID_SIZE, GRID_SIZE, 1);
    EXPECT_FALSE(pick(*sheet, view, 800, 600, 10, 10));  // the black corner
    // Cell 0,0 is the sheet's bottom right corner on screen: a few pixels beyond it still pick it,
    // twice the pick radius does not.
    const PixelAt corner = pixel_of_cell(*sheet, view, {0, 0, 0});
    EXPECT_TRUE(same(pick(*sheet, view, 800, 600, corner.x + 2, corner.y + 2), {0, 0, 0}));
    EXPECT_FALSE(pick(*sheet, view, 800, 600, corner.x + int(2 * PICK_RADIUS), corner.y));
    // Cell 25,27 lies on the line of sight through the pivot: every plane's point lands in the
    // window's centre, and the front one wins.
    const auto two_planes = make_world(world_of(GRID_SIZE, GRID_SIZE, 2, {{25, 27, 1, 1.0f}}));
    const View two_view = initial_view(GRID_SIZE, GRID_SIZE, 2);
    EXPECT_EQ(project(two_view.camera, 800, 600, cell_point(GRID_SIZE, GRID_SIZE, 25, 27, 1)).x, 400.0);
    EXPECT_TRUE(same(pick(*two_planes, two_view, 800, 600, 400, 300), {25, 27, 0}));
    // Points behind the near plane are not drawn, and not picked: here the eye is among the cells.
    View inside = view;
    inside.camera.target_x = -100;
    inside.camera.distance = 99.5f;
    EXPECT_FALSE(pick(*sheet, inside, 800, 600, 400, 300));
}

TEST(Pick, ACellThatShowsNowhereIsNeverPicked) {
    // Smoke in every cell of four planes: near the window's centre the planes' squares overlap, and
    // a click between points must not reach past the front ones to a point they cover whole.
    World world = world_of(20, 20, 4, {});
    const auto lattice = make_world(world);
    for (const auto& plane : lattice->planes)
        for (const auto& cell : plane->cells) cell->smoke = 0.7f;
    const View view = initial_view(20, 20, 4);
    const auto shows = [&](const Place& cell) {  // some pixel of its square selects it
        const WindowPoint q =
            project(view.camera, 400, 300, cell_point(20, 20, cell.column, cell.row, cell.plane));
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (same(pick(*lattice, view, 400, 300, int(std::floor(q.x)) + dx, int(std::floor(q.y)) + dy), cell))
                    return true;
        return false;
    };
    for (int y = 100; y < 135; ++y)
        for (int x = 165; x < 200; ++x) {
            const std::optional<Place> picked = pick(*lattice, view, 400, 300, x, y);
            if (picked) {
                EXPECT_TRUE(shows(*picked)) << x << "," << y << " picked " << text(picked);
            }
        }
    // A point whose centre lies outside the window is not drawn at all.
    const auto two_planes = make_world(world_of(GRID_SIZE, GRID_SIZE, 2, {{25, 49, 0, 0.42f}}));
    const View edge = {{20, 30, 6, 0, 0}, 1, 1000};
    EXPECT_LT(project(edge.camera, 400, 300, cell_point(GRID_SIZE, GRID_SIZE, 31, 28, 1)).x, 0);
    EXPECT_FALSE(same(pick(*two_planes, edge, 400, 300, 0, 24), {31, 28, 1}));
}

TEST(Pick, TheCubeHidesTheCellsBehindIt) {
    const auto sheet = make_world();
    View view = initial_view(GRID_SIZE, GRID_SIZE, 1);
    EXPECT_FALSE(pick(*sheet, view, 800, 600, 400, 319));  // the cube's face, in front of cell 25,25,0
    EXPECT_FALSE(pick(*sheet, view, 800, 600, 400, 312));  // near its edge, with cells within reach
    EXPECT_FALSE(pick_at(*sheet, view, pixel_of_cell(*sheet, view, {25, 25, 0})));
    EXPECT_TRUE(same(pick_at(*sheet, view, pixel_of_cell(*sheet, view, {27, 25, 0})), {27, 25, 0}));  // beside it
    // From behind it lies on the cube's blue face, which is drawn first and keeps the pixel.
    View behind = view;
    behind.camera.azimuth = 180;
    EXPECT_FALSE(pick_at(*sheet, behind, pixel_of_cell(*sheet, behind, {25, 25, 0})));
    EXPECT_TRUE(same(pick_at(*sheet, behind, pixel_of_cell(*sheet, behind, {25, 27, 0})), {25, 27, 0}));
    // A plane further on lies in front of the cube from behind.
    const auto block = make_world(world_of(GRID_SIZE, GRID_SIZE, 2, {{25, 25, 1, 1.0f}}));
    behind = initial_view(GRID_SIZE, GRID_SIZE, 2);
    behind.camera.azimuth = 180;
    EXPECT_TRUE(same(pick_at(*block, behind, pixel_of_cell(*block, behind, {25, 25, 1})), {25, 25, 1}));
    // Smoke a plane further back: hidden head on, seen from above over the cube.
    const auto two_planes = make_world(world_of(GRID_SIZE, GRID_SIZE, 2, {{25, 25, 1, 1.0f}}));
    view = initial_view(GRID_SIZE, GRID_SIZE, 2);
    EXPECT_FALSE(pick_at(*two_planes, view, pixel_of_cell(*two_planes, view, {25, 25, 1})));
    view.camera.elevation = 60;
    EXPECT_TRUE(same(pick_at(*two_planes, view, pixel_of_cell(*two_planes, view, {25, 25, 1})), {25, 25, 1}));
}
