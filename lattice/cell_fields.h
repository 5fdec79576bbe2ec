// The smoke lattice's cell for the outputs (fields.h): smoke, density, the scalar velocity, and the
// populations f0 to f18 of the directions 0 to 18.
#pragma once

#include "lattice/fields.h"
#include "lattice/lattice.h"

const Fields& cell_fields();
// The populations f0 to f18, named by their direction; any model of this velocity set shares it.
Field populations_field();

// The cell's values in cell_fields() order.
void read_cell(const Cell& cell, float* values);
// Reads the lattice's cells; the lattice must outlive it.
CellValues cell_values(const Lattice& lattice);
// One cell, whatever the place asked; the cell must outlive it.
CellValues cell_values(const Cell& cell);
Extent extent(const Lattice& lattice);
