// Hands on the flow in explore mode: the speed view, puffs and obstacles. The Explorer without a
// window, the speed's colours in a real OpenGL context, and the program in a real window; a
// fluid::Fluid driven directly with the same changes at the same steps is the oracle.
#include <gtest/gtest.h>

#include <FL/Fl.H>
#include <FL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/float_text.h"
#include "common/scenario_file.h"
#include "fluid/fluid.h"
#include "harness/process.h"
#include "harness/x_display.h"
#include "scene.h"
#include "fluid_world.h"
#include "testing.h"
#include "viewer/explore.h"
#include "viewer/world_window.h"

namespace {

using namespace std::chrono_literals;


// The cell line, written out from the fluid's own cell.
std::string line_of(const fluid::Fluid& fluid, int x, int y, long step) {
    const fluid::Fluid::Cell c = fluid.cell(x, y, 0);
    std::string line = "Cell " + std::to_string(x) + "," + std::to_string(y) + ",0 at step " + std::to_string(step) +
                       ": smoke " + float_text(c.smoke) + " density " + float_text(float(c.density)) + " velocity " +
                       float_text(float(c.velocity.x)) + "," + float_text(float(c.velocity.y)) + "," +
                       float_text(float(c.velocity.z)) + " populations";
    for (const float f : c.populations) line += " " + float_text(f);
    return line + "\n";
}

std::string change(const char* what, int x, int y, long step, const char* value) {
    return std::string(what) + " " + std::to_string(x) + "," + std::to_string(y) + ",0 at step " + std::to_string(step) +
           ": " + value + "\n";
}

TEST(FlowExplorer, ViewPuffObstacleAndResetAsTheFluidItself) {
    const Scenario scenario = fluid_scenario();
    std::string out;
    Explorer explorer(scenario, true, [&](const std::string& text) { out += text; });
    fluid::Fluid oracle(fluid_setup(scenario));
    const double start_mass = oracle.total_mass();

    // Nothing selected: p and o do nothing. v switches the points: a cell without smoke, a marker's
    // single pixel (every cell of one plane lies on a face), draws a whole point by its speed.
    explorer.puff();
    explorer.toggle_obstacle();
    EXPECT_EQ(out, "");
    EXPECT_EQ(shown_mark(explorer.model(), {8, 8, 0}, PointView::SMOKE), CellMark::MARKER);
    const unsigned long before = explorer.changes();
    explorer.toggle_view();
    EXPECT_EQ(explorer.points(), PointView::SPEED);
    EXPECT_GT(explorer.changes(), before);  // the points are drawn anew
    EXPECT_EQ(shown_mark(explorer.model(), {8, 8, 0}, PointView::SPEED), CellMark::SMOKE);
    EXPECT_EQ(shown_mark(explorer.model(), {OBSTACLE.x0, OBSTACLE.y0, 0}, PointView::SPEED), CellMark::SOLID);
    EXPECT_DOUBLE_EQ(explorer.speed_top(), 0.05);  // the flow given

    explorer.step();
    oracle.advance();
    out.clear();
    explorer.select(Place{8, 8, 0});
    std::string expected = line_of(oracle, 8, 8, 1);
    explorer.puff();
    oracle.add_smoke(8, 8, 0, 1);
    expected += change("Puff", 8, 8, 1, "1");
    EXPECT_EQ(out, expected);
    EXPECT_EQ(explorer.survey().largest_finite_smoke.value_or(0), oracle.smoke(8, 8, 0));  // at once, before a step
    explorer.step();
    oracle.advance();
    expected += report_of(oracle);
    explorer.toggle_obstacle();
    oracle.set_solid(8, 8, 0, true);
    expected += change("Obstacle", 8, 8, 2, "on");
    EXPECT_EQ(explorer.model().mark({8, 8, 0}), CellMark::SOLID);
    explorer.step();
    oracle.advance();
    expected += report_of(oracle);
    explorer.select(Place{8, 8, 0});
    explorer.select(Place{9, 8, 0});
    expected += line_of(oracle, 8, 8, 3) + line_of(oracle, 9, 8, 3);
    EXPECT_EQ(out, expected);
    // The figures along the top: the largest speed and the mass dropped with the obstacle's cell.
    const std::optional<FlowFigures> flow = explorer.flow_figures();
    ASSERT_TRUE(flow && flow->largest_speed);
    float largest = 0;
    for (int y = 0; y < ROWS; ++y)
        for (int x = 0; x < COLUMNS; ++x) {
            const fluid::Vec3 u = oracle.velocity(x, y, 0);
            largest = std::max(largest, float(std::sqrt(u.x * u.x + u.y * u.y + u.z * u.z)));
        }
    EXPECT_EQ(*flow->largest_speed, largest);
    const double drift = (oracle.total_mass() - start_mass) / start_mass * 1e6;
    EXPECT_NEAR(flow->mass_drift_ppm, drift, 1e-6);
    EXPECT_LT(drift, -1e6 / (COLUMNS * ROWS) * 0.9);  // about one cell's mass in 240

    // o again: fluid at rest. r: the scenario again, the obstacle and the puff gone.
    out.clear();
    explorer.select(Place{8, 8, 0});
    out.clear();
    explorer.toggle_obstacle();
    EXPECT_EQ(out, change("Obstacle", 8, 8, 3, "off"));
    EXPECT_EQ(explorer.model().mark({8, 8, 0}), CellMark::MARKER);
    explorer.reset();
    EXPECT_EQ(explorer.points(), PointView::SPEED);  // as playing, the view stays
    EXPECT_NEAR(explorer.flow_figures()->mass_drift_ppm, 0, 1e-9);
    fluid::Fluid fresh(fluid_setup(scenario));
    fresh.advance();
    out.clear();
    explorer.step();
    EXPECT_EQ(out, report_of(fresh));
}

TEST(FlowExplorer, TheDemonstrationTakesNoneOfTheHands) {
    std::string out;
    Explorer explorer(World(), true, [&](const std::string& text) { out += text; });
    explorer.select(Place{25, 49, 0});
    out.clear();
    const unsigned long before = explorer.changes();
    explorer.toggle_view();
    explorer.puff();
    explorer.toggle_obstacle();
    EXPECT_EQ(out, "");
    EXPECT_EQ(explorer.changes(), before);
    EXPECT_EQ(explorer.points(), PointView::SMOKE);
    EXPECT_FALSE(explorer.flow_figures());
}

// The speed view's points in a real OpenGL context: the map's bottom, middle and top as they show.
class SpeedDrawing : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        display = std::make_unique<VirtualDisplay>();
        Fl::display(display->name().c_str());
    }
    static void TearDownTestSuite() { display.reset(); }

    static Rgb pixel_after_toggle(WorldWindow& window, int x, int y) {
        window.show();
        EXPECT_TRUE(wait_until(
            [&] {
                Fl::wait(0.01);
                return window.shown() && window.visible();
            },
            20s));
        window.make_current();
        window.explorer().toggle_view();
        window.draw();
        glFinish();
        const Pixel p = pixel_of(window.camera(), 800, 600, cell_point(COLUMNS, ROWS, x, y, 0));
        unsigned char rgb[3];
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadBuffer(GL_BACK);
        glReadPixels(p.x, 600 - 1 - p.y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
        return {rgb[0], rgb[1], rgb[2]};
    }

    static std::unique_ptr<VirtualDisplay> display;
};

std::unique_ptr<VirtualDisplay> SpeedDrawing::display;

TEST_F(SpeedDrawing, TheMapsEndsAndMiddleShowAtTheirColours) {
    struct Case {
        const char* what;
        double flow, wall;  // the initial flow, and the top wall's speed
        Rgb shown;
    };
    for (const Case& c : {Case{"at rest, nothing given: the bottom", 0, 0, {68, 1, 84}},
                          Case{"half the wall's speed: the middle", 0.1, 0.2, {33, 145, 140}},
                          Case{"the speed given: the top", 0.2, 0.2, {253, 231, 37}}}) {
        Scenario s = fluid_scenario();
        s.fluid.flow = {c.flow, 0, 0};
        s.fluid.face(fluid::Face::top).velocity = fluid::Vec3{c.wall, 0, 0};
        if (c.wall == 0) s.fluid.face(fluid::Face::top).velocity.reset();
        WorldWindow window(100, 100, 800, 600, "World", s, true);
        const Rgb shown = pixel_after_toggle(window, 8, 8);
        EXPECT_TRUE(near(shown, c.shown)) << c.what << ": " << shown.r << "," << shown.g << "," << shown.b;
        window.hide();
    }
}

// The program in a real window: v, a click, p, o and r, each line against the fluid.
TEST(FlowViewer, PuffsAndObstaclesPrintWhatChangedAndWhen) {
    TemporaryFolder folder;
    const Scenario scenario = fluid_scenario();
    const std::string file = folder.file("flow.toml", scenario_text(scenario));
    VirtualDisplay display;
    ChildProcess viewer({SMOKE_VIEWER, "--explore", "--scenario", file}, {display.env()}, false);
    std::vector<Window> found;
    ASSERT_TRUE(wait_until([&] { return (found = find_windows(display.connection(), "World")).size() == 1; }, 20s));
    const Window window = found[0];
    const auto xdotool = [&](std::vector<std::string> args) {
        args.insert(args.begin(), "/usr/bin/xdotool");
        ASSERT_EQ(run_process(args, {display.env()}).status, 0);
    };
    const Pixel cell = pixel_of(DEFAULT_CAMERA, 800, 600, cell_point(COLUMNS, ROWS, 8, 8, 0));
    const auto click = [&] {
        xdotool({"mousemove", "--window", std::to_string(window), std::to_string(cell.x), std::to_string(cell.y),
                 "click", "1"});
    };
    const auto keys = [&](const std::string& key) {
        xdotool({"windowfocus", "--sync", std::to_string(window)});
        xdotool({"key", "--delay", "0", key});
    };
    const auto printed = [&](const std::string& what) {
        return viewer.read_until([&](const std::string& out) { return count_of(out, what) >= 1 && out.back() == '\n'; },
                                 20s);
    };
    const auto shows = [&](const Rgb& colour) {
        return wait_until([&] { return shows_near(capture(display.connection(), window), cell, colour); }, 20s);
    };

    fluid::Fluid oracle(fluid_setup(scenario));
    keys("f");
    oracle.advance();
    std::string expected = report_of(oracle);
    ASSERT_TRUE(printed("\n\n")) << viewer.out;
    keys("v");  // the cell, without smoke, draws nothing until the speed view shows it
    ASSERT_TRUE(wait_until([&] { return !(capture(display.connection(), window).at(cell.x, cell.y) == BLACK); }, 20s));
    click();
    ASSERT_TRUE(printed("Cell ")) << viewer.out;
    expected += line_of(oracle, 8, 8, 1);
    keys("p");
    ASSERT_TRUE(printed("Puff ")) << viewer.out;
    oracle.add_smoke(8, 8, 0, 1);
    expected += change("Puff", 8, 8, 1, "1");
    keys("f");
    oracle.advance();
    expected += report_of(oracle);
    keys("o");
    ASSERT_TRUE(printed("Obstacle ")) << viewer.out;
    oracle.set_solid(8, 8, 0, true);
    expected += change("Obstacle", 8, 8, 2, "on");
    EXPECT_TRUE(shows(lit(0.5, 0.5, 0.5))) << "the new obstacle's grey";
    click();
    ASSERT_TRUE(viewer.read_until([&](const std::string& out) { return count_of(out, "Cell ") >= 2 && out.back() == '\n'; },
                                  20s))
        << viewer.out;
    expected += line_of(oracle, 8, 8, 2);
    keys("r");
    keys("f");
    fluid::Fluid fresh(fluid_setup(scenario));
    fresh.advance();
    expected += report_of(fresh);
    ASSERT_TRUE(viewer.read_until([&](const std::string& out) { return out.size() >= expected.size(); }, 20s))
        << viewer.out;
    EXPECT_EQ(viewer.out, expected);
}

}  // namespace
