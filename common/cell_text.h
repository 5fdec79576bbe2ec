// One cell's values as text that a person can copy and a plotting tool can read: each figure the
// shortest text that reads back as the same float, inf, -inf or nan.
#pragma once

#include <string>

#include "lattice/lattice.h"

// "step,column,row,plane,smoke,density,velocity,f0,f1,...,f18" and a newline.
std::string probe_csv_header();
// One row of that table, with its newline.
std::string probe_csv_row(long step, const Place& place, const Cell& cell);

// "Cell X,Y,PLANE at step N: smoke S density D velocity V populations F0 F1 ... F18"
std::string cell_line(long step, const Place& place, const Cell& cell);
