// The words and figures of explore mode's overlay, as pure functions of what the window knows, so
// that they can be tested without a display. Figures read as in the cell line: the shortest text
// that reads back as the same float, and inf, -inf, nan.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "lattice/survey.h"

// The first step that left any value not finite, and the first such value after it.
struct FirstNonFinite {
    long step;
    NonFinite value;
};

// The lines along the top: the step and whether the world plays; the largest finite smoke; how many
// of the cells hold a value that is not finite; and once one has, where the numbers first broke.
std::vector<std::string> status_lines(long step, bool playing, std::optional<double> steps_per_second,
                                      const Survey& survey, std::size_t cells,
                                      const std::optional<FirstNonFinite>& first);

// The selected cell: its position, then its smoke, density, velocity and populations f0 to f18, a
// line each, every figure after a name padded to CELL_NAME_WIDTH characters.
constexpr std::size_t CELL_NAME_WIDTH = 9;
std::vector<std::string> cell_lines(const Place& place, const Cell& cell);
// The characters of a float's longest figures, such as -0.000108385764 (a rare few take more).
constexpr std::size_t LONG_FIGURE = 15;
