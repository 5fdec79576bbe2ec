// The words and figures of explore mode's overlay, as pure functions of what the window knows, so
// that they can be tested without a display. Figures read as in the cell line: the shortest text
// that reads back as the same float, and inf, -inf, nan.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "lattice/fields.h"
#include "lattice/survey.h"

// The first step that left any value not finite, and the first such value after it.
struct FirstNonFinite {
    long step;
    NonFinite value;
};

// A flow's figures: its largest finite speed (none when no cell has one), and how far its mass has
// drifted from the start, in parts per million.
struct FlowFigures {
    std::optional<float> largest_speed;
    double mass_drift_ppm;
};

// The lines along the top: the step and whether the world plays; the largest finite smoke, and in
// a world with a flow its largest speed and mass drift; how many of the cells hold a value that is
// not finite; and once one has, where the numbers first broke, its quantity named by the cells'
// fields.
std::vector<std::string> status_lines(const Fields& fields, long step, bool playing,
                                      std::optional<double> steps_per_second, const Survey& survey, std::size_t cells,
                                      const std::optional<FirstNonFinite>& first,
                                      const std::optional<FlowFigures>& flow = std::nullopt);
// The smoke lattice's.
std::vector<std::string> status_lines(long step, bool playing, std::optional<double> steps_per_second,
                                      const Survey& survey, std::size_t cells,
                                      const std::optional<FirstNonFinite>& first);

// The selected cell: its position, then each value a line, its column name ("smoke", "f4",
// "velocity_x") padded to CELL_NAME_WIDTH characters, or to one more than the longest name, then
// its figure.
constexpr std::size_t CELL_NAME_WIDTH = 9;
std::vector<std::string> cell_lines(const Fields& fields, const Place& place, const CellValues& values);
// The smoke lattice's: smoke, density, velocity and populations f0 to f18.
std::vector<std::string> cell_lines(const Place& place, const Cell& cell);
// The characters of a float's longest figures, such as -0.000108385764 (a rare few take more).
constexpr std::size_t LONG_FIGURE = 15;
