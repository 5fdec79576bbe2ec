// The small fluid world the viewer's tests share, and the fluid's own report as the oracle's text.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "fluid/fluid.h"
#include "models/scenario.h"
#include "testing.h"

constexpr int COLUMNS = 20, ROWS = 12;
// 3 x 4 cells, clear of the reference cube, which hides the middle of the sheet in the first view.
constexpr fluid::Box OBSTACLE = {13, 2, 15, 5};
constexpr int SOURCE_COLUMN = 4, SOURCE_ROW = 6;

// 20 x 12, walls along the top and bottom, periodic sideways with a slight flow, a box obstacle and
// a source of smoke upstream of it.
inline Scenario fluid_scenario() {
    Scenario s;
    s.model = ModelKind::fluid;
    s.world = world_of(COLUMNS, ROWS, 1, {{SOURCE_COLUMN, SOURCE_ROW, 0, 0.5f}}, 5);
    s.world.tau = 0.6f;
    s.fluid.face(fluid::Face::bottom).kind = fluid::Kind::wall;
    s.fluid.face(fluid::Face::top).kind = fluid::Kind::wall;
    s.fluid.boxes = {OBSTACLE};
    s.fluid.flow = {0.05, 0, 0};
    return s;
}

inline std::string report_of(const fluid::Fluid& fluid) {
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* const text = open_memstream(&buffer, &size);
    fluid.report(text);
    std::fclose(text);
    std::string report(buffer, size);
    std::free(buffer);
    return report;
}
