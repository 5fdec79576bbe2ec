#include "lattice/world.h"

#include <cmath>
#include <limits>

#include "lattice/cell.h"

namespace {

std::string range(int count) { return count == 1 ? "0" : "0 to " + std::to_string(count - 1); }

}  // namespace

std::optional<std::string> size_problem(long long value) {
    constexpr int LARGEST = std::numeric_limits<int>::max();
    if (value < 1 || value > LARGEST) return "must be a whole number from 1 to " + std::to_string(LARGEST);
    return std::nullopt;
}

std::optional<std::string> tau_problem(double value) {
    if (!std::isfinite(value) || !(value > 0)) return "must be a finite number above 0";
    return std::nullopt;
}

std::optional<std::string> speed_problem(double value) {
    if (!std::isfinite(value) || value < 0) return "must be a finite number of at least 0";
    return std::nullopt;
}

std::optional<std::string> smoke_problem(double value) {
    if (!std::isfinite(value)) return "must be a finite number";
    return std::nullopt;
}

std::optional<std::string> index_problem(int index, int count) {
    if (index < 0 || index >= count) return "must be " + range(count);
    return std::nullopt;
}

std::optional<std::string> place_problem(const World& world, const Place& place) {
    if (auto problem = index_problem(place.column, world.columns)) return "column " + *problem;
    if (auto problem = index_problem(place.row, world.rows)) return "row " + *problem;
    if (auto problem = index_problem(place.plane, world.planes)) return "plane " + *problem;
    return std::nullopt;
}

std::optional<std::string> report_row_problem(const World& world, int row) {
    if (row < 0 || row >= world.rows) return "must be a row of the world, " + range(world.rows);
    return std::nullopt;
}

std::optional<std::string> whole_number_problem(long long value) {
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) {
        return "must be a whole number that fits in 32 bits";
    }
    return std::nullopt;
}

std::string size_text(const World& w) {
    return std::to_string(w.columns) + " x " + std::to_string(w.rows) + " x " + std::to_string(w.planes);
}

std::optional<std::uint64_t> cell_count(const World& world) {
    std::uint64_t count = 1;
    for (const int n : {world.columns, world.rows, world.planes}) {
        if (__builtin_mul_overflow(count, std::uint64_t(n), &count)) return std::nullopt;
    }
    return count;
}

std::uint64_t lattice_bytes(std::uint64_t cells) {
    // The heap rounds each cell up to 16 bytes after a word of its own; the plane holds a pointer.
    constexpr std::uint64_t per_cell = (sizeof(Cell) + sizeof(void*) + 15) / 16 * 16 + sizeof(void*);
    std::uint64_t bytes;
    if (__builtin_mul_overflow(cells, per_cell, &bytes)) return std::numeric_limits<std::uint64_t>::max();
    return bytes;
}

std::optional<std::uint64_t> world_bytes(const World& world, std::uint64_t extra_per_cell) {
    const std::optional<std::uint64_t> cells = cell_count(world);
    if (!cells) return std::nullopt;
    const std::uint64_t lattice = lattice_bytes(*cells);
    std::uint64_t bytes;
    if (lattice == std::numeric_limits<std::uint64_t>::max() || __builtin_mul_overflow(*cells, extra_per_cell, &bytes) ||
        __builtin_add_overflow(bytes, lattice, &bytes)) {
        return std::nullopt;
    }
    return bytes;
}
