// What a person exploring the model asks of the whole lattice: the largest smoke, and where its
// numbers stopped being finite.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "lattice/lattice.h"

// A cell's values in a fixed order: smoke, density, velocity, then the populations of directions
// 0 to 18.
constexpr int QUANTITY_COUNT = 3 + DIRECTION_COUNT;
float quantity_value(const Cell& cell, int quantity);
std::string quantity_name(int quantity);  // "smoke", "density", "velocity", "population 4"

struct NonFinite {
    Place cell;
    int quantity;
    float value;  // inf, -inf or nan
};

struct Survey {
    std::optional<float> largest_finite_smoke;  // nothing when no cell's smoke is finite
    std::size_t nonfinite_cells = 0;  // cells holding at least one value that is not finite
    // The first cell in the order plane, row, column that holds one, with its first such quantity.
    std::optional<NonFinite> first_nonfinite;
};

Survey survey(const Lattice& lattice);
