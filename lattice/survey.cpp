#include "lattice/survey.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "lattice/cell_fields.h"

namespace {

// Whether every one of n values is finite: all exponent bits set means inf or nan. A loop without
// branches, which the compiler vectorizes, so that the rows where all is well cost little.
bool all_finite(const float* values, std::size_t n) {
    constexpr std::uint32_t EXPONENT = 0x7f800000;
    std::uint32_t broken = 0;
    for (std::size_t i = 0; i < n; ++i) {
        std::uint32_t bits;
        std::memcpy(&bits, &values[i], sizeof bits);
        broken |= std::uint32_t((bits & EXPONENT) == EXPONENT);
    }
    return broken == 0;
}

// Cells read at a time: their values stay in the first-level cache.
constexpr int RUN = 64;

}  // namespace

Survey survey(const Fields& fields, const Extent& extent, const CellValues& values) {
    Survey s;
    const std::size_t count = std::size_t(fields.value_count());
    const std::optional<int> smoke = fields.value_named("smoke");
    std::vector<float> run(count * std::size_t(std::min(extent.columns, RUN)));
    float largest = -INFINITY;  // in a register, not the result's optional; any finite smoke is above it
    Place place{};
    for (place.plane = 0; place.plane < extent.planes; ++place.plane) {
        for (place.row = 0; place.row < extent.rows; ++place.row) {
            for (int first = 0; first < extent.columns; first += RUN) {
                const int cells = std::min(RUN, extent.columns - first);
                values({first, place.row, place.plane}, cells, run.data());
                const bool finite = all_finite(run.data(), count * std::size_t(cells));
                for (int i = 0; i < cells; ++i) {
                    const float* cell = &run[std::size_t(i) * count];
                    if (smoke && std::isfinite(cell[*smoke]) && cell[*smoke] > largest) largest = cell[*smoke];
                    if (finite) continue;
                    std::size_t quantity = 0;
                    while (quantity < count && std::isfinite(cell[quantity])) ++quantity;
                    if (quantity == count) continue;
                    ++s.nonfinite_cells;
                    if (!s.first_nonfinite) {
                        place.column = first + i;
                        s.first_nonfinite = NonFinite{place, int(quantity), cell[quantity]};
                    }
                }
            }
        }
    }
    if (largest > -INFINITY) s.largest_finite_smoke = largest;
    return s;
}

Survey survey(const Lattice& lattice) { return survey(cell_fields(), extent(lattice), cell_values(lattice)); }

std::string quantity_name(int quantity) { return cell_fields().quantity_name(quantity); }
