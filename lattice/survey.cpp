#include "lattice/survey.h"

#include <cmath>

float quantity_value(const Cell& cell, int quantity) {
    switch (quantity) {
        case 0:
            return cell.smoke;
        case 1:
            return cell.density;
        case 2:
            return cell.velocity;
        default:
            return cell.links[quantity - 3].population;
    }
}

std::string quantity_name(int quantity) {
    const char* const names[] = {"smoke", "density", "velocity"};
    return quantity < 3 ? names[quantity] : "population " + std::to_string(quantity - 3);
}

Survey survey(const Lattice& lattice) {
    Survey s;
    for (std::size_t p = 0; p < lattice.planes.size(); ++p) {
        const Plane& plane = *lattice.planes[p];
        for (std::size_t i = 0; i < plane.cells.size(); ++i) {
            const Cell& cell = *plane.cells[i];
            if (std::isfinite(cell.smoke) && !(cell.smoke <= s.largest_finite_smoke.value_or(-INFINITY))) {
                s.largest_finite_smoke = cell.smoke;
            }
            int quantity = 0;
            while (quantity < QUANTITY_COUNT && std::isfinite(quantity_value(cell, quantity))) ++quantity;
            if (quantity == QUANTITY_COUNT) continue;
            ++s.nonfinite_cells;
            if (!s.first_nonfinite) {
                const Place place = {int(i % std::size_t(plane.columns)), int(i / std::size_t(plane.columns)), int(p)};
                s.first_nonfinite = NonFinite{place, quantity, quantity_value(cell, quantity)};
            }
        }
    }
    return s;
}
