#include "csv_report.h"

#include "common/float_text.h"

#include <algorithm>
#include <vector>

void write_csv_report(std::FILE* out, const Lattice& lattice, long step) {
    const Plane& plane = *lattice.planes[0];
    for (int i = 0; i < REPORT_COLUMNS && plane.contains(i, lattice.report_row); ++i) {
        const Cell& c = *plane.cell(i, lattice.report_row);
        std::fprintf(out, "%ld,%d,%d,%s,%s\n", step, i, lattice.report_row, float_text(c.smoke).c_str(),
                     float_text(c.links[REPORT_DIRECTION].population).c_str());
    }
    std::fflush(out);
}

void write_csv_report(std::FILE* out, const Fields& fields, const Extent& extent, const CellValues& values,
                      int report_row, long step) {
    const int smoke = fields.value_named("smoke").value_or(0);
    const int population = fields.value_named("f" + std::to_string(REPORT_DIRECTION)).value_or(0);
    const int columns = std::min(REPORT_COLUMNS, extent.columns);
    const std::size_t count = std::size_t(fields.value_count());
    std::vector<float> row(count * std::size_t(columns));
    if (columns > 0) values({0, report_row, 0}, columns, row.data());
    for (int i = 0; i < columns; ++i) {
        const float* cell = &row[std::size_t(i) * count];
        std::fprintf(out, "%ld,%d,%d,%s,%s\n", step, i, report_row, float_text(cell[smoke]).c_str(),
                     float_text(cell[population]).c_str());
    }
    std::fflush(out);
}
