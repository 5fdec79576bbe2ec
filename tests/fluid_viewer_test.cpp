// The viewer on the textbook fluid: the Explorer without a window, then its drawing in a real OpenGL
// context on a private virtual display. The fluid's own report and cells are the oracle.
#include <gtest/gtest.h>

#include <FL/Fl.H>
#include <FL/gl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "fluid/fluid.h"
#include "harness/process.h"
#include "harness/x_display.h"
#include "scene.h"
#include "viewer/explore.h"
#include "viewer/world_window.h"
#include "fluid_world.h"
#include "testing.h"

namespace {

using namespace std::chrono_literals;


bool in_obstacle(int x, int y) { return x >= OBSTACLE.x0 && x <= OBSTACLE.x1 && y >= OBSTACLE.y0 && y <= OBSTACLE.y1; }

TEST(FluidExplorer, StepsReportsMarksPicksAndResetsAsTheFluidItself) {
    const Scenario scenario = fluid_scenario();
    ASSERT_FALSE(fluid::setup_problem(fluid_setup(scenario)));
    std::string out;
    Explorer explorer(scenario, true, [&](const std::string& text) { out += text; });
    fluid::Fluid oracle(fluid_setup(scenario));
    EXPECT_EQ(explorer.model().extent().cells(), std::size_t(COLUMNS * ROWS));
    EXPECT_THROW(explorer.lattice(), std::logic_error);  // no demonstration inside

    for (int step = 1; step <= 3; ++step) {
        out.clear();
        explorer.step();
        oracle.advance();
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 11) << out;
        EXPECT_EQ(out.rfind("Lattice 0: ", 0), 0u) << out;
        EXPECT_EQ(out, report_of(oracle)) << "step " << step;
    }

    // The survey reads the fluid's smoke.
    float largest = 0;
    for (int y = 0; y < ROWS; ++y)
        for (int x = 0; x < COLUMNS; ++x) largest = std::max(largest, oracle.smoke(x, y, 0));
    ASSERT_GT(largest, 0.0f);
    ASSERT_TRUE(explorer.survey().largest_finite_smoke);
    EXPECT_EQ(*explorer.survey().largest_finite_smoke, largest);
    EXPECT_EQ(explorer.survey().nonfinite_cells, 0u);

    // Every obstacle cell and no other is solid; the wall rows are boundary links, not cells.
    for (int y = 0; y < ROWS; ++y)
        for (int x = 0; x < COLUMNS; ++x) {
            const CellMark mark = explorer.model().mark({x, y, 0});
            EXPECT_EQ(mark == CellMark::SOLID, in_obstacle(x, y)) << x << "," << y;
        }
    EXPECT_EQ(explorer.model().mark({SOURCE_COLUMN, SOURCE_ROW, 0}), CellMark::SMOKE);
    // A single plane: every other cell lies on the world's outside.
    EXPECT_EQ(explorer.model().mark({0, 3, 0}), CellMark::MARKER);
    EXPECT_EQ(explorer.model().mark({17, 8, 0}), CellMark::MARKER);

    // A click on an obstacle's point selects that cell and prints the fluid's line for it.
    const View view = initial_view(COLUMNS, ROWS, 1);
    for (const Place& target : {Place{14, 3, 0}, Place{OBSTACLE.x0, OBSTACLE.y0, 0}, Place{OBSTACLE.x1, OBSTACLE.y1, 0}}) {
        const Pixel p = pixel_of(view.camera, 800, 600, cell_point(COLUMNS, ROWS, target.column, target.row, 0));
        out.clear();
        explorer.click(view, 800, 600, p.x, p.y, std::nullopt);
        ASSERT_TRUE(explorer.selected());
        EXPECT_EQ(explorer.selected()->column, target.column);
        EXPECT_EQ(explorer.selected()->row, target.row);
        const std::string head = "Cell " + std::to_string(target.column) + "," + std::to_string(target.row) + ",0 at step 3:";
        EXPECT_EQ(out.rfind(head, 0), 0u) << out;
        // A solid cell holds the rest weights, and its line names no solid flag (the .vti has it).
        EXPECT_EQ(out.substr(head.size()), std::string(" smoke 0 density 1 velocity 0,0,0 populations 0.33333334"
                                               " 0.055555556 0.055555556 0.055555556 0.055555556 0.055555556 0.055555556"
                                               " 0.027777778 0.027777778 0.027777778 0.027777778 0.027777778 0.027777778"
                                               " 0.027777778 0.027777778 0.027777778 0.027777778 0.027777778 0.027777778\n"))
            << out;
    }
    // Beside the obstacle, its neighbour's marker.
    const Pixel beside = pixel_of(view.camera, 800, 600, cell_point(COLUMNS, ROWS, OBSTACLE.x1 + 1, 3, 0));
    out.clear();
    explorer.click(view, 800, 600, beside.x, beside.y, std::nullopt);
    ASSERT_TRUE(explorer.selected());
    EXPECT_EQ(explorer.selected()->column, OBSTACLE.x1 + 1);
    EXPECT_EQ(out.rfind("Cell " + std::to_string(OBSTACLE.x1 + 1) + ",3,0 at step 3: smoke ", 0), 0u) << out;
    explorer.click(view, 800, 600, 10, 10, std::nullopt);  // far from every point
    EXPECT_FALSE(explorer.selected());

    // Reset: step 0 again, and the next step reports as a fresh fluid's first.
    explorer.reset();
    EXPECT_EQ(explorer.step_number(), 0);
    EXPECT_EQ(explorer.survey().largest_finite_smoke.value_or(-1), 0.0f);
    fluid::Fluid fresh(fluid_setup(scenario));
    fresh.advance();
    out.clear();
    explorer.step();
    EXPECT_EQ(out, report_of(fresh));
}

// The viewer's window on the fluid in a real OpenGL context, as tests/viewer_gl_test.cpp draws it.
class FluidDrawing : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        display = std::make_unique<VirtualDisplay>();
        Fl::display(display->name().c_str());
    }
    static void TearDownTestSuite() { display.reset(); }

    void SetUp() override {
        window = std::make_unique<WorldWindow>(100, 100, 800, 600, "World", fluid_scenario(), false);
        window->show();
        ASSERT_TRUE(wait_until(
            [&] {
                Fl::wait(0.01);
                return window->shown() && window->visible();
            },
            20s));
        window->make_current();
    }

    Screenshot frame() {
        window->draw();
        glFinish();
        Screenshot shot;
        shot.w = window->w();
        shot.h = window->h();
        std::vector<unsigned char> rgb(std::size_t(shot.w) * shot.h * 3);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadBuffer(GL_BACK);
        glReadPixels(0, 0, shot.w, shot.h, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        for (int y = shot.h - 1; y >= 0; --y)  // OpenGL's rows run bottom-up
            for (int x = 0; x < shot.w; ++x) {
                const unsigned char* p = &rgb[(std::size_t(y) * shot.w + x) * 3];
                shot.pixels.push_back({p[0], p[1], p[2]});
            }
        return shot;
    }

    Pixel where(int x, int y) const {
        return pixel_of(window->camera(), 800, 600, cell_point(COLUMNS, ROWS, x, y, 0));
    }

    static std::unique_ptr<VirtualDisplay> display;
    std::unique_ptr<WorldWindow> window;
};

std::unique_ptr<VirtualDisplay> FluidDrawing::display;

TEST_F(FluidDrawing, AnObstacleDrawsGreySquaresBesideSmokeAndMarkers) {
    EXPECT_EQ(window->camera().distance, DEFAULT_CAMERA.distance);  // a small world: the usual first view
    // The source adds its smoke in each step: none yet at step 0, whose frame the next must not reuse.
    const Pixel source = where(SOURCE_COLUMN, SOURCE_ROW);
    EXPECT_TRUE(near(frame().at(source.x, source.y), MARKER));
    testing::internal::CaptureStdout();
    window->explorer().step();
    window->explorer().step();
    testing::internal::GetCapturedStdout();
    const Screenshot s = frame();

    const Rgb grey = lit(0.5, 0.5, 0.5);
    // Each of the 12 obstacle cells a whole 3 x 3 square of grey, and no grey anywhere else.
    EXPECT_EQ(count(s, grey), 12 * 9);
    for (int y = OBSTACLE.y0; y <= OBSTACLE.y1; ++y)
        for (int x = OBSTACLE.x0; x <= OBSTACLE.x1; ++x) {
            const Pixel p = where(x, y);
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) EXPECT_TRUE(near(s.at(p.x + dx, p.y + dy), grey)) << x << "," << y;
        }
    const float smoke = window->explorer().model().smoke({SOURCE_COLUMN, SOURCE_ROW, 0});
    ASSERT_GT(smoke, 0.0f);
    EXPECT_TRUE(shows_near(s, where(SOURCE_COLUMN, SOURCE_ROW), smoke_green(smoke)));
    EXPECT_TRUE(shows_near(s, where(0, 3), MARKER));
    EXPECT_TRUE(near(s.at(where(OBSTACLE.x1 + 1, 3).x, where(OBSTACLE.x1 + 1, 3).y), MARKER));
    EXPECT_TRUE(frame().pixels == s.pixels);  // nothing changed, nothing moves
}

}  // namespace
