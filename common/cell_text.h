// One cell's values as text that a person can copy and a plotting tool can read: each figure the
// shortest text that reads back as the same float, inf, -inf or nan. Any model's cells, through its
// fields (lattice/fields.h).
#pragma once

#include <string>

#include "lattice/fields.h"
#include "lattice/lattice.h"

// "step,column,row,plane," then every value's column name, and a newline: for the smoke lattice
// "step,column,row,plane,smoke,density,velocity,f0,f1,...,f18".
std::string probe_csv_header(const Fields& fields);
// One row of that table, with its newline.
std::string probe_csv_row(const Fields& fields, long step, const Place& place, const CellValues& values);

// "Cell X,Y,PLANE at step N:", then each field's name and figures: the smoke lattice's
// "Cell X,Y,PLANE at step N: smoke S density D velocity V populations F0 F1 ... F18"; a vector's
// figures are written "velocity UX,UY,UZ".
std::string cell_line(const Fields& fields, long step, const Place& place, const CellValues& values);
// The smoke lattice's cell.
std::string cell_line(long step, const Place& place, const Cell& cell);
