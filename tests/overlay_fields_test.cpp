// The selected cell's panel for a model with a vector quantity: a line per component, the figures
// in one column past the longest name.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "vector_cell.h"
#include "viewer/overlay_text.h"

namespace {

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

}  // namespace
