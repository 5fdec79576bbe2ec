#include "viewer/overlay_text.h"

#include <cstdio>

#include "common/float_text.h"

namespace {

std::string place_text(const Place& place) {
    return std::to_string(place.column) + "," + std::to_string(place.row) + "," + std::to_string(place.plane);
}

// A name and a figure, the figures of a block in one column of a fixed-width font.
std::string labelled(const std::string& name, float value) {
    return name + std::string(CELL_NAME_WIDTH - name.size(), ' ') + float_text(value);
}

}  // namespace

std::vector<std::string> status_lines(long step, bool playing, std::optional<double> steps_per_second,
                                      const Survey& survey, std::size_t cells,
                                      const std::optional<FirstNonFinite>& first) {
    std::string state = "paused";
    if (playing) {
        state = "playing";
        if (steps_per_second) {
            char rate[32];
            std::snprintf(rate, sizeof rate, " at %.3g steps/s", *steps_per_second);
            state += rate;
        }
    }
    std::vector<std::string> lines = {
        "step " + std::to_string(step) + ", " + state,
        "largest finite smoke " +
            (survey.largest_finite_smoke ? float_text(*survey.largest_finite_smoke) : std::string("(none)")),
        "cells not finite: " + std::to_string(survey.nonfinite_cells) + " of " + std::to_string(cells),
    };
    if (first) {
        lines.push_back("first not finite at step " + std::to_string(first->step) + ": cell " +
                        place_text(first->value.cell) + ", its " + quantity_name(first->value.quantity) + " (" +
                        float_text(first->value.value) + ")");
    }
    return lines;
}

std::vector<std::string> cell_lines(const Place& place, const Cell& cell) {
    std::vector<std::string> lines = {"cell " + place_text(place), labelled("smoke", cell.smoke),
                                      labelled("density", cell.density), labelled("velocity", cell.velocity)};
    for (int i = 0; i < DIRECTION_COUNT; ++i) lines.push_back(labelled("f" + std::to_string(i), cell.links[i].population));
    return lines;
}
