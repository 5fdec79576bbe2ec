#include "lattice/lattice.h"

#include <algorithm>
#include <cassert>
#include <cstddef>

namespace {

// Rows by which each plane trails the plane below it in advance()'s sweep. Streaming a row touches
// only its own row and the rows next to it, in its own plane and the two next to it; so two rows of
// different planes whose streaming touches a common cell lie at most two rows apart, and with this
// lag the lower plane's row streams in an earlier slice of the sweep, or earlier in the same slice.
constexpr int PLANE_LAG = 2;

// advance()'s order: slice by slice, and in each slice one row of every plane that has one there,
// lowest plane first, each plane PLANE_LAG rows behind the plane below.
struct Sweep {
    int rows, planes;
    int lag = planes > 1 ? PLANE_LAG : 0;

    int slices() const { return rows + lag * (planes - 1); }
    // Calls visit(plane, row) for the rows of a slice, lowest plane first; a slice outside the sweep
    // has none. Plane p's row is slice - lag * p, so only the planes from first to last have one: a
    // slice costs its rows, not the number of planes.
    template <typename Visit>
    void rows_of(int slice, Visit visit) const {
        const auto floor_div = [](int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
        const int first = lag > 0 ? std::max(0, -floor_div(rows - 1 - slice, lag)) : 0;
        const int last = lag > 0 ? std::min(planes - 1, floor_div(slice, lag)) : planes - 1;
        for (int p = first; p <= last; ++p) {
            const int y = slice - lag * p;
            if (y >= 0 && y < rows) visit(p, y);
        }
    }
};

std::vector<std::unique_ptr<Cell>> new_cells(std::size_t count, float lattice_speed) {
    std::vector<std::unique_ptr<Cell>> cells(count);
    for (auto& c : cells) c = std::make_unique<Cell>(0.0f, lattice_speed);
    return cells;
}

}  // namespace

Plane::Plane(int columns, int rows, float lattice_speed)
    : Plane(columns, rows, new_cells(std::size_t(columns) * std::size_t(rows), lattice_speed), lattice_speed) {}

Plane::Plane(int columns, int rows, std::vector<std::unique_ptr<Cell>> cells, float lattice_speed)
    : columns(columns), rows(rows), cells(std::move(cells)) {
    assert(columns >= 1 && rows >= 1 && this->cells.size() == std::size_t(columns) * std::size_t(rows));
    wire(this, 0, lattice_speed);
}

Cell* Plane::cell(int x, int y) const {
    assert(contains(x, y));
    return contains(x, y) ? cells[std::size_t(y) * std::size_t(columns) + std::size_t(x)].get() : nullptr;
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
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < columns; ++x) {
            for (int i = 1; i < DIRECTION_COUNT; ++i) {
                const Offset& o = DIRECTION_OFFSETS[i];
                const int tx = x + o.dx, ty = y - o.dy;
                if (o.dz != dz || !target_plane->contains(tx, ty)) continue;
                cell(x, y)->connect(o.dx, o.dy, o.dz, target_plane->cell(tx, ty), lattice_speed);
            }
        }
    }
}

Lattice::Lattice(int columns, int rows, int plane_count, float tau, float lattice_speed) : tau(tau) {
    assert(plane_count >= 1);
    // The cells are made in the order advance() first reaches them, so that its sweep runs through
    // memory in one stream rather than one for each plane.
    const std::size_t width = std::size_t(columns);
    std::vector<std::vector<std::unique_ptr<Cell>>> cells(static_cast<std::size_t>(plane_count));
    for (auto& plane_cells : cells) plane_cells.resize(width * std::size_t(rows));
    const Sweep sweep{rows, plane_count};
    for (int slice = 0; slice < sweep.slices(); ++slice) {
        sweep.rows_of(slice, [&](int p, int y) {
            for (std::size_t x = 0; x < width; ++x) {
                cells[std::size_t(p)][std::size_t(y) * width + x] = std::make_unique<Cell>(0.0f, lattice_speed);
            }
        });
    }
    planes.resize(std::size_t(plane_count));
    for (int p = 0; p < plane_count; ++p) {
        planes[p] = std::make_unique<Plane>(columns, rows, std::move(cells[std::size_t(p)]), lattice_speed);
    }
    for (int p = 0; p < plane_count; ++p) {
        if (p - 1 >= 0) planes[p]->connect_below(planes[p - 1].get(), lattice_speed);
        if (p + 1 < plane_count) planes[p]->connect_above(planes[p + 1].get(), lattice_speed);
    }
}

Cell* Lattice::cell(int x, int y, int plane) const {
    const bool inside = plane >= 0 && std::size_t(plane) < planes.size();
    assert(inside);
    return inside ? planes[std::size_t(plane)]->cell(x, y) : nullptr;
}

void Lattice::add_source(int x, int y, int plane, float smoke, float lattice_speed) {
    Cell* source = cell(x, y, plane);
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

void Lattice::reseed(const World& world) {
    assert(world.columns == columns() && world.rows == rows() && std::size_t(world.planes) == planes.size());
    tau = world.tau;
    for (auto& plane : planes) {
        for (auto& cell : plane->cells) cell->reset(0.0f, world.speed);
    }
    for (const Source& s : world.sources) add_source(s.column, s.row, s.plane, s.smoke, world.speed);
    report_row = world.report_row;
}

std::unique_ptr<Lattice> make_world(const World& world) {
    auto lattice = std::make_unique<Lattice>(world.columns, world.rows, world.planes, world.tau, world.speed);
    for (const Source& s : world.sources) lattice->add_source(s.column, s.row, s.plane, s.smoke, world.speed);
    lattice->report_row = world.report_row;
    return lattice;
}

void Lattice::step() {
    advance();
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

// A cell's density and velocity, from its populations.
void take_moments(Cell& cell) {
    cell.density = cell.sum_density();
    cell.velocity = cell.sum_velocity(cell.density);
}

// BGK relaxation of every link of one cell toward the equilibrium of its moments, wired or not.
void relax(Cell& cell, float omega) {
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

void collide_cell(Cell& cell, float omega) {
    take_moments(cell);
    relax(cell, omega);
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
        // Strict, so an equal value or a NaN never raises: std::max keeps its first argument unless
        // the second is larger. Unlike an if, it costs no mispredicted branch.
        Link& back = neighbour->links[l];
        back.population = std::max(back.population, v);
    }
    cell.smoke = own_smoke;
}

float collision_rate(float tau) { return static_cast<float>(1.0 / double(tau)); }

}  // namespace

void Lattice::advance() {
    // One sweep over memory instead of two. The planes advance together, slice by slice (see Sweep):
    // in each slice every plane streams one row, PLANE_LAG rows behind the plane below it. Every row
    // collides `lead` slices before it streams, just before the first streaming that touches it:
    // that of the row below it, in the plane below when there is one.
    //
    // The figures are those of collide() then stream(), bit for bit. A collision reads and writes its
    // own cell only, writes nothing that another cell's streaming reads (the smoke and populations),
    // and still runs before anything streams into the cell. Within a plane the rows stream in order,
    // and a row of a higher plane streams before a row of a lower one only where the two touch no
    // common cell. So every addition and comparison meets the same values in the same order.
    const float omega = collision_rate(tau);
    const Sweep sweep{rows(), int(planes.size())};
    const int lead = 1 + sweep.lag;
    const std::size_t width = std::size_t(columns());
    // Works on every cell of a slice's rows, lowest plane first.
    const auto each_cell = [&](int slice, auto work) {
        sweep.rows_of(slice, [&](int p, int y) {
            const auto first = planes[std::size_t(p)]->cells.begin() + std::ptrdiff_t(std::size_t(y) * width);
            for (auto cell = first; cell != first + std::ptrdiff_t(width); ++cell) work(**cell);
        });
    };
    for (int slice = -lead; slice < sweep.slices(); ++slice) {
        // A row's moments first: each is a long chain of roundings, and those of different cells,
        // back to back, overlap in the processor.
        each_cell(slice + lead, take_moments);
        each_cell(slice + lead, [omega](Cell& cell) { relax(cell, omega); });
        each_cell(slice, stream_cell);
    }
}

void Lattice::collide() {
    const float omega = collision_rate(tau);
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
        const Cell* c = plane.contains(i, report_row) ? plane.cell(i, report_row) : nullptr;
        if (!c) break;  // a world narrower than the report, or a row outside it
        std::fprintf(out, "Lattice %i: %f / %f\n", i, double(c->smoke), double(c->links[REPORT_DIRECTION].population));
    }
    std::fputc('\n', out);
    std::fflush(out);
}
