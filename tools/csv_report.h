// The report as CSV, for plotting tools.
#pragma once

#include <cstdio>

#include "lattice/fields.h"
#include "lattice/lattice.h"

// Rows "step,column,row,smoke,population_4" after CSV_HEADER, one per report column, each figure
// the shortest text that reads back as the same float (inf, -inf, nan); then a flush.
constexpr const char* CSV_HEADER = "step,column,row,smoke,population_4\n";
void write_csv_report(std::FILE* out, const Lattice& lattice, long step);
// Any model's, through its fields: the values named smoke and f4 of the report row in plane 0.
void write_csv_report(std::FILE* out, const Fields& fields, const Extent& extent, const CellValues& values,
                      int report_row, long step);
