#include "viewer/overlay_text.h"

#include <algorithm>
#include <cstdio>

#include "common/float_text.h"
#include "lattice/cell_fields.h"

namespace {

std::string place_text(const Place& place) {
    return std::to_string(place.column) + "," + std::to_string(place.row) + "," + std::to_string(place.plane);
}

// A name and a figure, the figures of a block in one column of a fixed-width font.
std::string labelled(const std::string& name, std::size_t width, float value) {
    return name + std::string(width - name.size(), ' ') + float_text(value);
}

}  // namespace

std::vector<std::string> status_lines(const Fields& fields, long step, bool playing,
                                      std::optional<double> steps_per_second, const Survey& survey, std::size_t cells,
                                      const std::optional<FirstNonFinite>& first,
                                      const std::optional<FlowFigures>& flow) {
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
    if (flow) {
        char drift[48];
        std::snprintf(drift, sizeof drift, ", mass drift %.3g ppm", flow->mass_drift_ppm);
        lines[1] += ", largest speed " +
                    (flow->largest_speed ? float_text(*flow->largest_speed) : std::string("(none)")) + drift;
    }
    if (first) {
        lines.push_back("first not finite at step " + std::to_string(first->step) + ": cell " +
                        place_text(first->value.cell) + ", its " + fields.quantity_name(first->value.quantity) + " (" +
                        float_text(first->value.value) + ")");
    }
    return lines;
}

std::vector<std::string> status_lines(long step, bool playing, std::optional<double> steps_per_second,
                                      const Survey& survey, std::size_t cells,
                                      const std::optional<FirstNonFinite>& first) {
    return status_lines(cell_fields(), step, playing, steps_per_second, survey, cells, first);
}

std::vector<std::string> cell_lines(const Fields& fields, const Place& place, const CellValues& values) {
    std::vector<float> cell(static_cast<std::size_t>(fields.value_count()));
    values(place, 1, cell.data());
    std::size_t width = CELL_NAME_WIDTH;
    for (int v = 0; v < fields.value_count(); ++v) width = std::max(width, fields.column_name(v).size() + 1);
    std::vector<std::string> lines = {"cell " + place_text(place)};
    for (int v = 0; v < fields.value_count(); ++v) {
        // What the cell's printed line leaves out (a fluid's solid flag), the panel does too.
        if (fields.in_text(v)) lines.push_back(labelled(fields.column_name(v), width, cell[std::size_t(v)]));
    }
    return lines;
}

std::vector<std::string> cell_lines(const Place& place, const Cell& cell) {
    return cell_lines(cell_fields(), place, cell_values(cell));
}
