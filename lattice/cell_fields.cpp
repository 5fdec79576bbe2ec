#include "lattice/cell_fields.h"

#include <cassert>

namespace {

constexpr int VALUES = 3 + DIRECTION_COUNT;

}  // namespace

// Direction i leads from (x, y, plane) to (x + dx, y - dy, plane + dz): in the .vti's frame, where
// y is the row, that is the offset (dx, -dy, dz).
Field populations_field() {
    Field f{"populations", {}, {}, {}, ' '};
    for (int i = 0; i < DIRECTION_COUNT; ++i) {
        const Offset& o = DIRECTION_OFFSETS[std::size_t(i)];
        f.columns.push_back("f" + std::to_string(i));
        f.quantities.push_back("population " + std::to_string(i));
        f.vti_components.push_back("f" + std::to_string(i) + " (" + std::to_string(o.dx) + " " +
                                   std::to_string(-o.dy) + " " + std::to_string(o.dz) + ")");
    }
    return f;
}

const Fields& cell_fields() {
    static const Fields fields({scalar_field("smoke"), scalar_field("density"), scalar_field("velocity"), populations_field()});
    assert(fields.value_count() == VALUES);
    return fields;
}

void read_cell(const Cell& cell, float* values) {
    values[0] = cell.smoke;
    values[1] = cell.density;
    values[2] = cell.velocity;
    for (int i = 0; i < DIRECTION_COUNT; ++i) values[3 + i] = cell.links[std::size_t(i)].population;
}

CellValues cell_values(const Lattice& lattice) {
    return [&lattice](const Place& first, int count, float* values) {
        const Plane& plane = *lattice.planes[std::size_t(first.plane)];
        assert(plane.contains(first.column, first.row) && plane.contains(first.column + count - 1, first.row));
        const std::unique_ptr<Cell>* cell =
            plane.cells.data() + std::size_t(first.row) * std::size_t(plane.columns) + std::size_t(first.column);
        for (int i = 0; i < count; ++i, values += VALUES) read_cell(*cell[i], values);
    };
}

CellValues cell_values(const Cell& cell) {
    return [&cell](const Place&, int count, float* values) {
        for (int i = 0; i < count; ++i, values += VALUES) read_cell(cell, values);
    };
}

Extent extent(const Lattice& lattice) { return {lattice.columns(), lattice.rows(), int(lattice.planes.size())}; }
