// A test-only model's cell with a velocity vector, to show that the outputs take any model's fields:
// smoke, velocity (3 components), solid, and three populations. Its world is 2 x 2 x 2 cells; value
// v of cell c (in plane, row, column order) is 10 c + v unless a test sets it.
#pragma once

#include <algorithm>
#include <vector>

#include "lattice/fields.h"

inline const Fields& vector_cell_fields() {
    static const Fields fields({scalar_field("smoke"), vector_field("velocity"), scalar_field("solid"),
                                Field{"populations",
                                      {"f0", "f1", "f2"},
                                      {"population 0", "population 1", "population 2"},
                                      {"f0 (0 0 0)", "f1 (1 0 0)", "f2 (-1 0 0)"},
                                      ' '}});
    return fields;
}

struct VectorWorld {
    static constexpr int VALUES = 8;
    Extent extent{2, 2, 2};
    std::vector<float> values;

    VectorWorld() {
        for (int i = 0; i < 8 * VALUES; ++i) values.push_back(float(10 * (i / VALUES) + i % VALUES));
    }
    float& at(const Place& p, int value) {
        return values[std::size_t(((p.plane * extent.rows + p.row) * extent.columns + p.column) * VALUES + value)];
    }
    CellValues reader() {
        return [this](const Place& first, int count, float* out) {
            const float* from = &at(first, 0);
            std::copy(from, from + count * VALUES, out);
        };
    }
};
