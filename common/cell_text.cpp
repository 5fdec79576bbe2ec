#include "common/cell_text.h"

#include "common/float_text.h"

std::string probe_csv_header() {
    std::string header = "step,column,row,plane,smoke,density,velocity";
    for (int i = 0; i < DIRECTION_COUNT; ++i) header += ",f" + std::to_string(i);
    return header + "\n";
}

std::string probe_csv_row(long step, const Place& place, const Cell& cell) {
    std::string row = std::to_string(step) + "," + std::to_string(place.column) + "," + std::to_string(place.row) +
                      "," + std::to_string(place.plane) + "," + float_text(cell.smoke) + "," +
                      float_text(cell.density) + "," + float_text(cell.velocity);
    for (const Link& link : cell.links) row += "," + float_text(link.population);
    return row + "\n";
}

std::string cell_line(long step, const Place& place, const Cell& cell) {
    std::string line = "Cell " + std::to_string(place.column) + "," + std::to_string(place.row) + "," +
                       std::to_string(place.plane) + " at step " + std::to_string(step) +
                       ": smoke " + float_text(cell.smoke) + " density " + float_text(cell.density) +
                       " velocity " + float_text(cell.velocity) + " populations";
    for (const Link& link : cell.links) line += " " + float_text(link.population);
    return line;
}
