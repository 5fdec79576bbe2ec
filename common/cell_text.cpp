#include "common/cell_text.h"

#include <vector>

#include "common/float_text.h"
#include "lattice/cell_fields.h"

namespace {

std::vector<float> read(const Fields& fields, const Place& place, const CellValues& values) {
    std::vector<float> cell(static_cast<std::size_t>(fields.value_count()));
    values(place, 1, cell.data());
    return cell;
}

}  // namespace

std::string probe_csv_header(const Fields& fields) {
    std::string header = "step,column,row,plane";
    for (int v = 0; v < fields.value_count(); ++v) {
        if (fields.in_text(v)) header += "," + fields.column_name(v);
    }
    return header + "\n";
}

std::string probe_csv_row(const Fields& fields, long step, const Place& place, const CellValues& values) {
    std::string row = std::to_string(step) + "," + std::to_string(place.column) + "," + std::to_string(place.row) +
                      "," + std::to_string(place.plane);
    const std::vector<float> cell = read(fields, place, values);
    for (int v = 0; v < fields.value_count(); ++v) {
        if (fields.in_text(v)) row += "," + float_text(cell[std::size_t(v)]);
    }
    return row + "\n";
}

std::string cell_line(const Fields& fields, long step, const Place& place, const CellValues& values) {
    const std::vector<float> cell = read(fields, place, values);
    std::string line = "Cell " + std::to_string(place.column) + "," + std::to_string(place.row) + "," +
                       std::to_string(place.plane) + " at step " + std::to_string(step) + ":";
    for (std::size_t f = 0; f < fields.list().size(); ++f) {
        const Field& field = fields.list()[f];
        if (!field.in_text) continue;
        line += " " + field.name;
        for (int k = 0; k < field.components(); ++k) {
            line += (k == 0 ? ' ' : field.separator) + float_text(cell[std::size_t(fields.first_value(f) + k)]);
        }
    }
    return line;
}

std::string cell_line(long step, const Place& place, const Cell& cell) {
    return cell_line(cell_fields(), step, place, cell_values(cell));
}
