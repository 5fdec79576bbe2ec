// What a person exploring the model asks of the whole lattice: the largest smoke, and where its
// numbers stopped being finite.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "lattice/fields.h"
#include "lattice/lattice.h"

struct NonFinite {
    Place cell;
    int quantity;  // the value's number in the cell's fields
    float value;   // inf, -inf or nan
};

struct Survey {
    std::optional<float> largest_finite_smoke;  // nothing when no cell's smoke is finite
    std::size_t nonfinite_cells = 0;  // cells holding at least one value that is not finite
    // The first cell in the order plane, row, column that holds one, with its first such quantity.
    std::optional<NonFinite> first_nonfinite;
};

// Any model's cells, read through its fields; smoke is the value whose column is "smoke", if any.
Survey survey(const Fields& fields, const Extent& extent, const CellValues& values);
// The smoke lattice's.
Survey survey(const Lattice& lattice);
// A quantity of the smoke lattice's cells as a sentence names it: "density", "population 4".
std::string quantity_name(int quantity);
