// The report as CSV, for plotting tools.
#pragma once

#include <cstdio>

#include "lattice/lattice.h"

// Rows "step,column,row,smoke,population_4" after CSV_HEADER, one per report column, each figure
// the shortest text that reads back as the same float (inf, -inf, nan); then a flush.
constexpr const char* CSV_HEADER = "step,column,row,smoke,population_4\n";
void write_csv_report(std::FILE* out, const Lattice& lattice, long step);
