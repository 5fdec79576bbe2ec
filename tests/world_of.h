// A world of a given shape and sources for the tests, its other settings the defaults'.
#pragma once

#include <utility>
#include <vector>

#include "lattice/world.h"

inline World world_of(int columns, int rows, int planes, std::vector<Source> sources, int report_row = 0) {
    World world;
    world.columns = columns;
    world.rows = rows;
    world.planes = planes;
    world.sources = std::move(sources);
    world.report_row = report_row;
    return world;
}
