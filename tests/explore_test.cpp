// Explore mode's state and actions, driven without a window: steps, play and its rate, reset, and
// what a click selects, with everything printed caught by the sink.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "testing.h"
#include "viewer/explore.h"

namespace {

using namespace std::chrono_literals;

struct Printed {
    std::string text;
    Explorer::Sink sink() {
        return [this](const std::string& piece) { text += piece; };
    }
};

// The built-in "fixed" font, 6 x 13.
FontMetrics fixed_font() {
    FontMetrics font;
    font.cell_width = 6;
    font.ascent = 11;
    font.descent = 2;
    for (int c = ' '; c <= '~'; ++c) font.advance[std::size_t(c)] = 6;
    return font;
}

TEST(Explorer, PlayingStepsAtEachTickKeepsTheFirstBreakAndResetClearsIt) {
    Printed printed;
    Explorer explorer(World(), true, printed.sink());
    const Lattice* const built = &explorer.lattice();
    const Explorer::Clock::time_point start{};
    explorer.tick(start);  // paused: nothing
    EXPECT_EQ(explorer.step_number(), 0);
    explorer.toggle_play(start);
    for (int i = 1; i <= 141; ++i) explorer.tick(start + i * 25ms);
    explorer.toggle_play(start + 142 * 25ms);
    explorer.tick(start + 143 * 25ms);
    EXPECT_EQ(reports_in(printed.text), 141u);
    EXPECT_EQ(explorer.step_number(), 141);
    // As smoke-steps --until-nonfinite says: step 139, cell 2,1,0, its smoke (inf).
    ASSERT_TRUE(explorer.first_nonfinite());
    EXPECT_EQ(explorer.first_nonfinite()->step, 139);
    EXPECT_EQ(explorer.first_nonfinite()->value.cell.column, 2);
    EXPECT_EQ(explorer.first_nonfinite()->value.cell.row, 1);
    EXPECT_EQ(explorer.first_nonfinite()->value.quantity, 0);
    EXPECT_GT(explorer.survey().nonfinite_cells, 0u);
    explorer.reset();
    EXPECT_EQ(&explorer.lattice(), built);  // reseeded in place
    EXPECT_FALSE(explorer.first_nonfinite());
    EXPECT_EQ(explorer.survey().nonfinite_cells, 0u);
    EXPECT_EQ(explorer.step_number(), 0);
    EXPECT_EQ(explorer.lattice().planes[0]->cell(25, 49)->smoke, 0.42f);
}

TEST(Explorer, TheRateIsMeasuredOverHalfASecondOfPlay) {
    Printed printed;
    Explorer explorer(World(), true, printed.sink());
    const Explorer::Clock::time_point start{};
    explorer.toggle_play(start);
    for (int i = 1; i < 20; ++i) explorer.tick(start + i * 25ms);
    EXPECT_FALSE(explorer.steps_per_second());  // not yet a whole period
    explorer.tick(start + 500ms);
    ASSERT_TRUE(explorer.steps_per_second());
    EXPECT_DOUBLE_EQ(*explorer.steps_per_second(), 40.0);  // 20 steps in 0.5 s
    explorer.tick(start + 600ms);
    explorer.tick(start + 1000ms);  // 2 steps in the next 0.5 s
    EXPECT_DOUBLE_EQ(*explorer.steps_per_second(), 4.0);
    explorer.toggle_play(start + 1100ms);  // a pause forgets the figure
    EXPECT_FALSE(explorer.steps_per_second());
}

TEST(Explorer, AClickOnAPanelLeavesTheCellBeneathItAlone) {
    // Near enough that the sheet fills the window, cells under every panel.
    View view = initial_view(GRID_SIZE, GRID_SIZE, 1);
    view.camera.distance = 30;
    const FontMetrics font = fixed_font();
    Printed printed;
    Explorer explorer(World(), true, printed.sink());
    const OverlayLayout layout = explorer.overlay(font, 800, 600);
    ASSERT_TRUE(layout.status && layout.keys && layout.legend);
    struct Case {
        const char* panel;
        Box box;
    };
    for (const Case& c : {Case{"status", layout.status->panel}, {"keys", layout.keys->panel}, {"legend", layout.legend->panel}}) {
        // A pixel of the panel where, without text and so without panels, a click takes a cell.
        int x = -1, y = -1;
        for (int j = c.box.y; j < c.box.bottom() && x < 0; ++j)
            for (int i = c.box.x; i < c.box.right() && x < 0; ++i) {
                explorer.click(view, 800, 600, i, j, std::nullopt);
                if (explorer.selected()) x = i, y = j;
            }
        ASSERT_GE(x, 0) << c.panel << ": no cell beneath it";
        const Place beneath = *explorer.selected();
        explorer.select(Place{0, 0, 0});
        printed.text.clear();
        explorer.click(view, 800, 600, x, y, font);
        EXPECT_EQ(printed.text, "") << c.panel;
        ASSERT_TRUE(explorer.selected()) << c.panel;
        EXPECT_TRUE(explorer.selected()->column == 0 && explorer.selected()->row == 0) << c.panel << ": took "
                                                                                         << beneath.column << ","
                                                                                         << beneath.row;
    }
    // Just beside the status panel's corner, the cell is taken.
    explorer.click(view, 800, 600, layout.status->panel.right(), layout.status->panel.bottom(), font);
    EXPECT_FALSE(explorer.selected() && explorer.selected()->column == 0 && explorer.selected()->row == 0);
}

TEST(OverlayPanels, OnAPanelIsInsideItsRectangleEdgesIncludedBeyondThemNot) {
    OverlayLayout layout;
    layout.status = TextPanel{{10, 20, 30, 40}, {}};
    struct Case {
        int x, y;
        bool on;
    };
    for (const Case& c : {Case{10, 20, true}, {39, 59, true}, {40, 30, false}, {20, 60, false}, {9, 30, false},
                          {20, 19, false}}) {
        EXPECT_EQ(on_panel(layout, c.x, c.y), c.on) << c.x << "," << c.y;
    }
}

}  // namespace
