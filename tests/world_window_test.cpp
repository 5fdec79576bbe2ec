// The window's event handling, driven through the toolkit's event state without a display.
#include <gtest/gtest.h>

#include <FL/Fl.H>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "viewer/world_window.h"
#include "testing.h"
#include "vector_cell.h"
#include "viewer/overlay_text.h"

namespace {

struct Pixel {
    int x, y;
};

// The window's events as the toolkit delivers them, in the plain viewer or in explore mode.
template <bool EXPLORE>
class Events : public ::testing::Test {
protected:
    WorldWindow window{100, 100, 800, 600, "World", World(), EXPLORE};

    int press(int button, int x, int y) {
        Fl::e_keysym = FL_Button + button;
        Fl::e_x = x;
        Fl::e_y = y;
        return window.handle(FL_PUSH);
    }
    int drag(int x, int y) {
        Fl::e_x = x;
        Fl::e_y = y;
        return window.handle(FL_DRAG);
    }
    int release(int x, int y) {
        Fl::e_x = x;
        Fl::e_y = y;
        return window.handle(FL_RELEASE);
    }
    int key(int code) {
        Fl::e_keysym = code;
        return window.handle(FL_KEYBOARD);
    }
    void expect_camera(const CameraPose& c) {
        const CameraPose now = window.camera();
        EXPECT_TRUE(now.elevation == c.elevation && now.azimuth == c.azimuth && now.distance == c.distance &&
                    now.target_x == c.target_x && now.target_y == c.target_y);
    }
    const Cell& cell(int x, int y) { return *window.explorer().lattice().planes[0]->cell(x, y); }
    // The output of a left click at (x, y) with a wobble of (dx, dy) between press and release.
    std::string click(int x, int y, int dx = 0, int dy = 0) {
        testing::internal::CaptureStdout();
        press(FL_LEFT_MOUSE, x, y);
        drag(x + dx, y + dy);
        window.tick();
        release(x + dx, y + dy);
        return testing::internal::GetCapturedStdout();
    }
    static Pixel pixel(int column, int row) {
        const WindowPoint q = project(DEFAULT_CAMERA, 800, 600, cell_point(GRID_SIZE, GRID_SIZE, column, row, 0));
        return {int(q.x), int(q.y)};
    }
};
using WindowEvents = Events<false>;
using ExploreEvents = Events<true>;

TEST_F(WindowEvents, StartsAtTheDefaultCameraWithASeededLatticeAndTicksAloneChangeNothing) {
    for (int i = 0; i < 10; ++i) window.tick();
    EXPECT_FALSE(window.dragging());
    expect_camera(DEFAULT_CAMERA);
    EXPECT_EQ(window.camera().distance, 100.0f);
    EXPECT_EQ(window.view().near_plane, 1.0);
    EXPECT_EQ(window.view().far_plane, 1000.0);
    EXPECT_EQ(window.explorer().lattice().tau, 0.56f);
    EXPECT_EQ(cell(25, 49).smoke, 0.42f);  // nothing reseeds or steps
    EXPECT_EQ(cell(25, 49).links[0].population, -0.06999999f);
}

TEST_F(WindowEvents, ADragMovesTheCameraOnlyAtTheNextTick) {
    EXPECT_EQ(press(FL_LEFT_MOUSE, 400, 300), 1);
    EXPECT_TRUE(window.dragging());
    EXPECT_EQ(drag(500, 300), 1);
    expect_camera(DEFAULT_CAMERA);
    window.tick();
    EXPECT_EQ(window.camera().azimuth, 315.0f);
    window.tick();  // the camera depends on the pointer, not on the number of ticks
    EXPECT_EQ(window.camera().azimuth, 315.0f);

    EXPECT_EQ(window.handle(FL_RELEASE), 1);
    EXPECT_FALSE(window.dragging());
    drag(700, 100);
    window.tick();
    EXPECT_EQ(window.camera().azimuth, 315.0f);
    EXPECT_EQ(window.camera().elevation, 0.0f);
}

TEST_F(WindowEvents, ASecondPressRestartsTheDragFromTheCurrentCamera) {
    press(FL_LEFT_MOUSE, 400, 300);
    drag(500, 300);
    window.tick();
    press(FL_MIDDLE_MOUSE, 500, 300);  // without a release: from the camera the orbit left
    drag(500, -300);  // up by the window's height
    window.tick();
    EXPECT_EQ(window.camera().azimuth, 315.0f);
    EXPECT_EQ(window.camera().distance, 50.0f);

    press(FL_RIGHT_MOUSE, 0, 0);
    drag(-400, 0);  // the pointer may leave the window during a drag
    window.tick();
    const CameraPose expected = pan({0, 315, 50, 0, 0}, 315, {400, 0, 800, 600});
    expect_camera(expected);
    window.handle(FL_RELEASE);
    EXPECT_FALSE(window.dragging());
}

TEST_F(WindowEvents, OtherButtonsAndAReleaseWithoutAPressChangeNothing) {
    EXPECT_EQ(window.handle(FL_RELEASE), 1);
    EXPECT_FALSE(window.dragging());
    press(4, 10, 10);
    drag(300, 400);
    window.tick();
    expect_camera(DEFAULT_CAMERA);
}

TEST_F(WindowEvents, FStepsAndPrintsAReportOtherKeysAreConsumedAndAClickPicksNothing) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(key('f'), 1);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("Lattice 0: 0.000000 / 0.000000\n", 0), 0u);
    EXPECT_EQ(out.size(), 10 * 31 + 1u);
    EXPECT_EQ(cell(25, 49).smoke, 0.9279537f);

    testing::internal::CaptureStdout();
    for (int code : {int('F'), int('a'), int('x'), int(' '), int('r'), FL_Escape, FL_Enter, FL_Shift_L, FL_F + 1, FL_Left}) {
        EXPECT_EQ(key(code), 1) << code;
    }
    window.tick();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(click(pixel(25, 49).x, pixel(25, 49).y), "");
    EXPECT_FALSE(window.explorer().selected());
    EXPECT_EQ(window.explorer().step_number(), 1);
    EXPECT_EQ(cell(25, 49).smoke, 0.9279537f);
}

TEST_F(WindowEvents, QExitsWithStatusOneAndPrintsNothing) {
    EXPECT_EXIT(key('q'), testing::ExitedWithCode(1), "^$");
}

// smoke-steps 1 --probe 25,49,0 gives these figures.
const std::string SOURCE_AT_STEP_1 =
    "Cell 25,49,0 at step 1: smoke 0.9279537 density 0.12833335 velocity 0.85274583 populations 0.048066694 "
    "0.034117375 0.034117375 0.034117375 0.034117375 0.034117375 0.034117375 0.04463473 0.04463473 0.04463473 "
    "0.04463473 0.04463473 0.04463473 0.04463473 0.04463473 0.04463473 0.04463473 0.04463473 0.04463473\n";

TEST_F(ExploreEvents, AClickPicksAndPrintsTheCellADragOrbitsAndEmptySpaceClears) {
    const Pixel source = pixel(25, 49);
    testing::internal::CaptureStdout();
    key('f');  // the line tells the step
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(click(source.x, source.y, 2, -1), SOURCE_AT_STEP_1);
    ASSERT_TRUE(window.explorer().selected());
    EXPECT_EQ(window.explorer().selected()->column, 25);
    EXPECT_EQ(window.explorer().selected()->row, 49);
    expect_camera(DEFAULT_CAMERA);  // the wobble did not turn it

    // Out beyond the tolerance and back is a drag: it orbits, and the selection stays.
    const Pixel corner = pixel(0, 0);
    testing::internal::CaptureStdout();
    press(FL_LEFT_MOUSE, corner.x, corner.y);
    drag(corner.x + 40, corner.y);
    drag(corner.x + 1, corner.y);
    window.tick();
    release(corner.x + 1, corner.y);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_NE(window.camera().azimuth, DEFAULT_CAMERA.azimuth);
    EXPECT_EQ(window.explorer().selected()->column, 25);

    window.set_camera(DEFAULT_CAMERA);
    EXPECT_EQ(click(10, 10), "");  // the black corner
    EXPECT_FALSE(window.explorer().selected());
    // Other buttons never pick.
    testing::internal::CaptureStdout();
    press(FL_RIGHT_MOUSE, source.x, source.y);
    release(source.x, source.y);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_FALSE(window.explorer().selected());
}

TEST_F(ExploreEvents, ThreePixelsBetweenPressAndReleaseIsAClickFourADrag) {
    const Pixel source = pixel(25, 49);
    struct Case {
        int dx, dy;
        bool click;
    };
    for (const Case& c : {Case{3, 0, true}, {0, -3, true}, {-3, 3, true}, {4, 0, false}, {0, 4, false}, {-4, 0, false}}) {
        window.explorer().select(std::nullopt);
        window.set_camera(DEFAULT_CAMERA);
        const std::string out = click(source.x, source.y, c.dx, c.dy);
        EXPECT_EQ(window.explorer().selected().has_value(), c.click) << c.dx << "," << c.dy;
        EXPECT_EQ(out.empty(), !c.click) << c.dx << "," << c.dy;
    }
}

TEST(OverlayText, TheFiguresReadAsTheCellLineDoes) {
    Survey survey;
    survey.largest_finite_smoke = 0.42f;
    EXPECT_EQ(status_lines(0, false, std::nullopt, survey, 2500, std::nullopt),
              (std::vector<std::string>{"step 0, paused", "largest finite smoke 0.42", "cells not finite: 0 of 2500"}));
    survey.largest_finite_smoke.reset();
    survey.nonfinite_cells = 2500;
    const FirstNonFinite first = {139, {{2, 1, 0}, 0, INFINITY}};
    EXPECT_EQ(status_lines(150, true, 39.96, survey, 2500, first),
              (std::vector<std::string>{"step 150, playing at 40 steps/s", "largest finite smoke (none)",
                                        "cells not finite: 2500 of 2500",
                                        "first not finite at step 139: cell 2,1,0, its smoke (inf)"}));
    EXPECT_EQ(status_lines(3, true, std::nullopt, survey, 1, FirstNonFinite{2, {{0, 0, 4}, 7, NAN}})[3],
              "first not finite at step 2: cell 0,0,4, its population 4 (nan)");
    Cell cell(-INFINITY, 0.5f);
    cell.links[18].population = 3.4028235e38f;
    const std::vector<std::string> lines = cell_lines({7, 8, 9}, cell);
    ASSERT_EQ(lines.size(), 23u);
    EXPECT_EQ(lines[1] + "|" + lines[22], "smoke    -inf|f18      3.4028235e+38");
}

// A model with a vector quantity: a line per component, the figures in one column past the longest name.
TEST(OverlayText, AVectorsComponentsEachHaveALineAndTheFiguresStayInOneColumn) {
    VectorWorld world;
    world.at({1, 0, 1}, 2) = -0.5f;
    EXPECT_EQ(cell_lines(vector_cell_fields(), {1, 0, 1}, world.reader()),
              (std::vector<std::string>{"cell 1,0,1", "smoke      50", "velocity_x 51", "velocity_y -0.5",
                                        "velocity_z 53", "solid      54", "f0         55", "f1         56",
                                        "f2         57"}));
    const Survey survey = {10.0f, 1, NonFinite{{1, 1, 0}, 3, NAN}};
    EXPECT_EQ(status_lines(vector_cell_fields(), 4, false, std::nullopt, survey, 8, FirstNonFinite{2, *survey.first_nonfinite})[3],
              "first not finite at step 2: cell 1,1,0, its velocity z (nan)");
}

TEST(OverlayLayout, EachPanelHoldsItsTextInsideTheWindowInAnyFont) {
    // The longest figures (15 characters), and the longest status.
    Cell cell(0.0f, 0.5f);
    for (Link& link : cell.links) link.population = -0.000108385764f;
    const std::vector<std::string> lines = cell_lines({25, 49, 0}, cell);
    const std::vector<std::string> status = {"step 150, playing at 40 steps/s", "largest finite smoke (none)",
                                             "cells not finite: 2500 of 2500",
                                             "first not finite at step 139: cell 2,1,0, its smoke (inf)"};
    const auto inside = [](const Box& a, const Box& b) {
        return a.x >= b.x && a.y >= b.y && a.right() <= b.right() && a.bottom() <= b.bottom();
    };
    // The built-in "fixed" (6 x 13), and a larger one that some servers call "fixed" (9 x 15).
    for (const auto& [width, ascent, descent] : {std::tuple{6, 11, 2}, {9, 12, 3}}) {
        FontMetrics font;
        font.cell_width = width;
        font.ascent = ascent;
        font.descent = descent;
        for (int c = ' '; c <= '~'; ++c) font.advance[std::size_t(c)] = width;
        const OverlayLayout layout = overlay_layout(font, 800, 600, status, lines);
        const std::string where = std::to_string(width) + " x " + std::to_string(ascent + descent);
        // Every panel fits, none over another (else it would be left out).
        ASSERT_TRUE(layout.status && layout.legend && layout.cell && layout.keys) << where;
        EXPECT_EQ(layout.cell->panel.right(), 800) << where;
        // Short figures leave it where it was: it does not jump about as the world steps.
        const Cell empty(0.0f, 0.5f);
        EXPECT_EQ(overlay_layout(font, 800, 600, status, cell_lines({0, 0, 0}, empty)).cell->panel.x, layout.cell->panel.x);
        const TextPanel legend = {layout.legend->panel, layout.legend->labels};
        for (const TextPanel& text : {*layout.status, legend, *layout.cell, *layout.keys})
            for (const Label& label : text.labels) {
                const Box ink = {label.x, label.baseline - ascent, font.width(label.text), ascent + descent};
                EXPECT_TRUE(inside(ink, text.panel)) << where << ": " << label.text;
            }
        EXPECT_TRUE(inside(layout.legend->bar, layout.legend->panel)) << where;
        if (width == 6) {  // clear of the running system's sheet, x 160 to 640 and y 80 to 570
            EXPECT_LE(layout.status->panel.bottom(), 80);
            EXPECT_LE(layout.legend->panel.right(), 160);
            EXPECT_GE(layout.cell->panel.x, 640);
            EXPECT_GE(layout.keys->panel.y, 570);
            // A short window raises the cell's panel to end right on the keys' top, here starting
            // right under the status: panels that touch are all kept, though they share columns.
            // One too short for it leaves it out rather than cut its lines.
            const OverlayLayout short_window = overlay_layout(font, 450, 416, status, lines);
            ASSERT_TRUE(short_window.status && short_window.cell && short_window.keys);
            EXPECT_EQ(short_window.cell->panel.y, short_window.status->panel.bottom());
            EXPECT_EQ(short_window.cell->panel.bottom(), short_window.keys->panel.y);
            EXPECT_LT(short_window.cell->panel.x, std::min(short_window.status->panel.right(), short_window.keys->panel.right()));
            // So are the legend and a cell's panel side by side, in a window just wide enough.
            const int narrow = layout.legend->panel.right() + layout.cell->panel.w;
            const OverlayLayout side_by_side = overlay_layout(font, narrow, 600, {"step 0"}, lines);
            ASSERT_TRUE(side_by_side.legend && side_by_side.cell);
            EXPECT_EQ(side_by_side.cell->panel.x, side_by_side.legend->panel.right());
            const OverlayLayout small = overlay_layout(font, 400, 300, status, lines);
            EXPECT_TRUE(small.status && small.keys && !small.cell);
        }
    }
}

}  // namespace
