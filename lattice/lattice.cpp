#include "lattice/lattice.h"

#include <cassert>

Plane::Plane(float lattice_speed) {
    for (auto& c : cells) c = std::make_unique<Cell>(0.0f, lattice_speed);
    wire(this, 0, lattice_speed);
}

Cell* Plane::cell(int x, int y) const {
    assert(is_inside_grid(x, y));
    return is_inside_grid(x, y) ? cells[y * GRID_SIZE + x].get() : nullptr;
}

void Plane::connect_below(Plane* other, float lattice_speed) { wire(other, -1, lattice_speed); }

void Plane::connect_above(Plane* other, float lattice_speed) { wire(other, +1, lattice_speed); }

void Plane::set_cell_smoke(int x, int y, float smoke, float lattice_speed) {
    Cell* c = cell(x, y);
    if (!c) return;
    c->set_smoke(smoke);
    for (int i = 0; i < DIRECTION_COUNT; ++i) c->links[i].velocity = direction_length(i) * lattice_speed;
}

void Plane::wire(Plane* target_plane, int dz, float lattice_speed) {
    for (int y = 0; y < GRID_SIZE; ++y) {
        for (int x = 0; x < GRID_SIZE; ++x) {
            for (int i = 1; i < DIRECTION_COUNT; ++i) {
                const Offset& o = DIRECTION_OFFSETS[i];
                const int tx = x + o.dx, ty = y - o.dy;
                if (o.dz != dz || !is_inside_grid(tx, ty)) continue;
                cell(x, y)->connect(o.dx, o.dy, o.dz, target_plane->cell(tx, ty), lattice_speed);
            }
        }
    }
}

Lattice::Lattice(float tau, float lattice_speed) : tau(tau) {
    for (auto& p : planes) p = std::make_unique<Plane>(lattice_speed);
    for (int p = 0; p < PLANE_COUNT; ++p) {
        if (p - 1 >= 0) planes[p]->connect_below(planes[p - 1].get(), lattice_speed);
        if (p + 1 < PLANE_COUNT) planes[p]->connect_above(planes[p + 1].get(), lattice_speed);
    }
}

void Lattice::add_source(int x, int y, int plane, float smoke, float lattice_speed) {
    assert(plane >= 0 && plane < PLANE_COUNT);
    if (plane < 0 || plane >= PLANE_COUNT) return;
    Cell* source = planes[plane]->cell(x, y);
    if (!source) return;
    source->set_source(1);
    source->set_smoke(smoke);
    const double s = lattice_speed;
    for (int i = 0; i < DIRECTION_COUNT; ++i) {
        Link& link = source->links[i];
        link.velocity = direction_length(i) * lattice_speed;
        // Smoke stands in for the density; each partial sum is rounded to float.
        const float linear = static_cast<float>(eq_weight(i) + eq_linear(i) * s);
        const float quadratic = static_cast<float>(linear + eq_quadratic(i) * s * s);
        const float coefficient = static_cast<float>(quadratic + double(eq_square(i)));
        const float population = smoke * coefficient;
        link.population = population;
        if (link.neighbour) link.neighbour->links[opposite_direction(i)].population = population;
    }
}

std::unique_ptr<Lattice> make_world() {
    auto lattice = std::make_unique<Lattice>(WORLD_TAU, WORLD_LATTICE_SPEED);
    lattice->add_source(SOURCE_X, SOURCE_Y, SOURCE_PLANE, SOURCE_SMOKE, WORLD_LATTICE_SPEED);
    return lattice;
}

void Lattice::step() {
    collide();
    stream();
    report();
}

namespace {

// The equilibrium coefficient sum of one direction class, times rho. It depends on the cell and the
// class only, so a cell needs three of them, not nineteen. Each float is a rounding point; between
// them the arithmetic is double. A single product of two floats is written in float: it is exact in
// double, so rounding it once gives the same bits.
float class_equilibrium(int c, float rho, float u) {
    const float s = CLASS_LENGTH[c] * u;
    const float t1 = CLASS_WEIGHT[c];
    const float t2 = CLASS_LINEAR[c] * s;
    const float t3 = (s * s) * CLASS_QUADRATIC[c];
    const float t4 = static_cast<float>(double(CLASS_SQUARE[c]) * u * u);
    return static_cast<float>((((double(t1) + t2) + t3) + t4) * rho);
}

// BGK relaxation of every link of one cell toward its equilibrium, wired or not.
void collide_cell(Cell& cell, float omega) {
    cell.density = cell.sum_density();
    cell.velocity = cell.sum_velocity(cell.density);
    const float equilibrium[CLASS_COUNT] = {
        class_equilibrium(REST, cell.density, cell.velocity),
        class_equilibrium(AXIS, cell.density, cell.velocity),
        class_equilibrium(DIAGONAL, cell.density, cell.velocity),
    };
    for (int j = 0; j < DIRECTION_COUNT; ++j) {
        Link& link = cell.links[j];
        link.equilibrium = equilibrium[DIRECTION_CLASSES[j]];
        const float delta = link.population - link.equilibrium;
        link.post_collision = static_cast<float>(link.population - double(omega) * delta);
    }
}

// Streams a cell's post-collision values: each goes into the target cell's smoke and back into the
// link's own population, and raises the partner link that points back where it is larger. The links
// are visited in the order opposite_direction(0..18), which fixes the order of the smoke additions.
void stream_cell(Cell& cell) {
    // The cell's own smoke is summed in a register: no link but the rest link leads back to the
    // cell itself, so the additions keep their order.
    float own_smoke = cell.smoke;
    for (int l = 0; l < DIRECTION_COUNT; ++l) {
        Link& link = cell.links[OPPOSITE_DIRECTIONS[l]];
        const float v = link.post_collision;
        link.population = v;
        link.post_collision = 0.0f;
        Cell* neighbour = link.neighbour;
        if (!neighbour || neighbour == &cell) {
            own_smoke += v;
            continue;
        }
        neighbour->smoke += v;
        // Strict, so an equal value or a NaN never raises.
        Link& back = neighbour->links[l];
        if (v > back.population) back.population = v;
    }
    cell.smoke = own_smoke;
}

}  // namespace

void Lattice::collide() {
    const float omega = static_cast<float>(1.0 / double(tau));
    // A cell's collision touches that cell only, so memory order gives the same result as any other.
    for (auto& plane : planes) {
        for (auto& cell : plane->cells) collide_cell(*cell, omega);
    }
}

void Lattice::stream() {
    // Row 0 first, column 0 first: the order decides which raises survive.
    for (auto& plane : planes) {
        for (auto& cell : plane->cells) stream_cell(*cell);
    }
}

void Lattice::report(std::FILE* out) const {
    const Plane& plane = *planes[0];
    for (int i = 0; i < REPORT_COLUMNS; ++i) {
        const Cell& c = *plane.cell(i, REPORT_ROW);
        std::fprintf(out, "Lattice %i: %f / %f\n", i, double(c.smoke), double(c.links[REPORT_DIRECTION].population));
    }
    std::fputc('\n', out);
    std::fflush(out);
}
