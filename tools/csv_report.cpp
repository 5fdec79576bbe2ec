#include "csv_report.h"

#include "common/float_text.h"

void write_csv_report(std::FILE* out, const Lattice& lattice, long step) {
    const Plane& plane = *lattice.planes[0];
    for (int i = 0; i < REPORT_COLUMNS && plane.contains(i, lattice.report_row); ++i) {
        const Cell& c = *plane.cell(i, lattice.report_row);
        std::fprintf(out, "%ld,%d,%d,%s,%s\n", step, i, lattice.report_row, float_text(c.smoke).c_str(),
                     float_text(c.links[REPORT_DIRECTION].population).c_str());
    }
    std::fflush(out);
}
