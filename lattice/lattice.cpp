#include "lattice/lattice.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <thread>

#ifdef _OPENMP
#include <omp.h>
#endif

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

Lattice::Lattice(int columns, int rows, int plane_count, float tau, float lattice_speed)
    : tau(tau) {
    set_threads(int(std::max(1u, std::thread::hardware_concurrency())));
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

// The streaming of one cell, turned around so that it writes that cell alone (a pull), for the step's
// threads. stream() pushes cell by cell in memory order (plane, row, column), so:
//
// - A cell's smoke ends as its smoke before, plus the value of every neighbour whose link leads to it,
//   added in the order those neighbours stream, with its own values (the rest link's and every
//   unwired link's, in the order links[OPPOSITE_DIRECTIONS[l]], l = 0..18) added at its own turn.
//   The neighbour whose link k leads here lies at (x - dx, y + dy, plane - dz) of k's offset, so its
//   turn against this cell's is fixed: PULL_ORDER sorts the directions by (-dz, dy, -dx), and
//   direction 0, offset 0, falls at the cell's own turn.
// - A link's population ends as the cell's own post-collision value, set when the cell streams,
//   unless its raiser (the cell whose link OPPOSITE_DIRECTIONS[l] leads here) streams later: then
//   std::max(own value, raiser's value), as the raise compares. A raiser that streams earlier is
//   overwritten. The neighbour whose link k leads here raises link OPPOSITE_DIRECTIONS[k].
//
// Wiring is by position, so the neighbour whose link k leads here is the one this cell's link
// REVERSED[k] leads to, and exists exactly when that link is wired.
constexpr int direction_of(int dx, int dy, int dz) {
    for (int i = 0; i < DIRECTION_COUNT; ++i) {
        const Offset o = DIRECTION_OFFSETS[i];
        if (o.dx == dx && o.dy == dy && o.dz == dz) return i;
    }
    return -1;
}

constexpr std::array<int, DIRECTION_COUNT> reversed_directions() {
    std::array<int, DIRECTION_COUNT> r{};
    for (int i = 0; i < DIRECTION_COUNT; ++i) {
        const Offset o = DIRECTION_OFFSETS[i];
        r[i] = direction_of(-o.dx, -o.dy, -o.dz);
    }
    return r;
}
constexpr std::array<int, DIRECTION_COUNT> REVERSED = reversed_directions();

// Where the neighbour whose link k leads here streams, against this cell: negative before it.
constexpr int stream_turn(int k) {
    const Offset o = DIRECTION_OFFSETS[k];
    return (-o.dz * 3 + o.dy) * 3 - o.dx;
}

constexpr std::array<int, DIRECTION_COUNT> pull_order() {
    std::array<int, DIRECTION_COUNT> order{};
    for (int i = 0; i < DIRECTION_COUNT; ++i) order[i] = i;
    for (int i = 1; i < DIRECTION_COUNT; ++i) {  // insertion sort: constexpr, and 19 entries
        for (int j = i; j > 0 && stream_turn(order[j - 1]) > stream_turn(order[j]); --j) {
            const int t = order[j];
            order[j] = order[j - 1];
            order[j - 1] = t;
        }
    }
    return order;
}
constexpr std::array<int, DIRECTION_COUNT> PULL_ORDER = pull_order();
constexpr int OWN_TURN = 9;  // direction 0's place in PULL_ORDER: nine neighbours stream before

constexpr bool pull_tables_agree() {
    if (PULL_ORDER[OWN_TURN] != 0) return false;
    for (int i = 0; i < DIRECTION_COUNT; ++i) {
        if (REVERSED[i] < 0 || REVERSED[REVERSED[i]] != i) return false;
        if (i > 0 && stream_turn(PULL_ORDER[i - 1]) >= stream_turn(PULL_ORDER[i])) return false;
    }
    return true;
}
static_assert(pull_tables_agree());

// stream_cell's figures for one cell, written to that cell only; reads its neighbours' post-collision
// values, which must all be there, and leaves them (and its own) in place.
void pull_cell(Cell& cell) {
    for (Link& link : cell.links) link.population = link.post_collision;
    float smoke = cell.smoke;
    for (int t = 0; t < OWN_TURN; ++t) {
        const int k = PULL_ORDER[t];
        if (const Cell* from = cell.links[REVERSED[k]].neighbour) smoke += from->links[k].post_collision;
    }
    for (int l = 0; l < DIRECTION_COUNT; ++l) {
        const Link& link = cell.links[OPPOSITE_DIRECTIONS[l]];
        if (!link.neighbour || link.neighbour == &cell) smoke += link.post_collision;
    }
    for (int t = OWN_TURN + 1; t < DIRECTION_COUNT; ++t) {
        const int k = PULL_ORDER[t];
        if (const Cell* from = cell.links[REVERSED[k]].neighbour) {
            const float v = from->links[k].post_collision;
            smoke += v;
            Link& raised = cell.links[OPPOSITE_DIRECTIONS[k]];
            raised.population = std::max(raised.post_collision, v);
        }
    }
    cell.smoke = smoke;
}

void clear_streamed(Cell& cell) {
    for (Link& link : cell.links) link.post_collision = 0.0f;
}

}  // namespace

void Lattice::set_threads(int count) {
    assert(count >= 1);
    threads_ = std::max(1, count);
    // A meeting point between each two bands; new ones, so that no step's marks are left in them.
    meetings_ = std::make_unique<Meeting[]>(std::size_t(threads_));
}

int Lattice::teams() const {
#ifdef _OPENMP
    return std::max(1, std::min(threads_, rows() / MIN_ROWS_PER_THREAD));
#else
    return 1;
#endif
}

void Lattice::advance() {
    // On one thread, sweep_alone below. On several, each takes a band of rows, the same rows of
    // every plane, and makes one sweep over it instead of three passes (collide, pull, clear): the
    // planes advance together, slice by slice (see Sweep), PLANE_LAG rows apart. A pull reads the
    // post-collision values of the rows next to its own in its own plane and the two next to it, so
    // a row collides `lead` slices before it is pulled, and its values are cleared `lead` slices
    // after, once every pull that reads them is done.
    //
    // The figures are those of collide() then stream(), bit for bit, at any thread count: a pull
    // writes its own cell only, adds and compares in stream()'s order (see pull_cell), and reads
    // nothing that another pull writes. Two bands meet only at their common edge, whose two rows
    // each reads (see Meeting): each band collides its edge rows first and says so, pulls a row next
    // to another band's only once that band has said so, and whichever band finishes last clears the
    // two rows. So a thread waits for its neighbours alone, and rarely, not for the whole team.
    const float omega = collision_rate(tau);
    const int row_count = rows();
    const int plane_count = int(planes.size());
    const std::size_t width = std::size_t(columns());
    const auto each_cell = [&](int p, int y, auto work) {
        const auto first = planes[std::size_t(p)]->cells.begin() + std::ptrdiff_t(std::size_t(y) * width);
        for (auto cell = first; cell != first + std::ptrdiff_t(width); ++cell) work(**cell);
    };
    // A row's moments first: each is a long chain of roundings, and those of different cells, back
    // to back, overlap in the processor.
    const auto collide_row = [&](int y) {
        for (int p = 0; p < plane_count; ++p) {
            each_cell(p, y, take_moments);
            each_cell(p, y, [omega](Cell& cell) { relax(cell, omega); });
        }
    };
    // On one thread the sweep streams as stream() does, pushing each cell's values out, with each row
    // collided `lead` slices before it streams, just before the first streaming that touches it. The
    // figures are those of collide() then stream(): a collision reads and writes its own cell only,
    // writes nothing that another cell's streaming reads, and still runs before anything streams into
    // the cell; within a plane the rows stream in order, and a row of a higher plane streams before a
    // row of a lower one only where the two touch no common cell. It costs less than the pull below,
    // which each thread's band needs so as to write its own cells alone.
    const auto sweep_alone = [&] {
        const Sweep sweep{row_count, plane_count};
        const int lead = 1 + sweep.lag;
        for (int slice = -lead; slice < sweep.slices(); ++slice) {
            sweep.rows_of(slice + lead, [&](int p, int y) { each_cell(p, y, take_moments); });
            sweep.rows_of(slice + lead, [&](int p, int y) { each_cell(p, y, [omega](Cell& cell) { relax(cell, omega); }); });
            sweep.rows_of(slice, [&](int p, int y) { each_cell(p, y, stream_cell); });
        }
    };
    const auto clear_row = [&](int y) {
        for (int p = 0; p < plane_count; ++p) each_cell(p, y, clear_streamed);
    };
    const std::uint64_t step = ++steps_;
    const auto ready = [step](std::atomic<std::uint64_t>& mark) { mark.store(step, std::memory_order_release); };
    const auto wait_for = [step](const std::atomic<std::uint64_t>& mark) {
        while (mark.load(std::memory_order_acquire) != step) std::this_thread::yield();
    };
    // Band b of team: rows [first, end) of every plane, at least two of them.
    const auto sweep_band = [&](int b, int team) {
        const int first = int(std::int64_t(row_count) * b / team), end = int(std::int64_t(row_count) * (b + 1) / team);
        Meeting* const below = b > 0 ? &meetings_[std::size_t(b - 1)] : nullptr;
        Meeting* const above = b + 1 < team ? &meetings_[std::size_t(b)] : nullptr;
        const auto shared = [&](int y) { return (below && y == first) || (above && y == end - 1); };
        if (below) {
            collide_row(first);
            ready(below->upper_collided);
        }
        if (above) {
            collide_row(end - 1);
            ready(above->lower_collided);
        }
        const Sweep sweep{end - first, plane_count};
        const int lead = 1 + sweep.lag;
        for (int slice = -lead; slice < sweep.slices() + lead; ++slice) {
            sweep.rows_of(slice + lead, [&](int p, int y) {
                if (!shared(first + y)) {
                    each_cell(p, first + y, take_moments);
                    each_cell(p, first + y, [omega](Cell& cell) { relax(cell, omega); });
                }
            });
            // The first pull of each edge row: plane 0's, in the band's first and last slices of rows.
            if (below && slice == 0) wait_for(below->lower_collided);
            if (above && slice == end - first - 1) wait_for(above->upper_collided);
            sweep.rows_of(slice, [&](int p, int y) { each_cell(p, first + y, pull_cell); });
            sweep.rows_of(slice - lead, [&](int p, int y) {
                if (!shared(first + y)) each_cell(p, first + y, clear_streamed);
            });
        }
        // The second band to finish with an edge clears its two rows; the count goes up by two a step.
        for (Meeting* m : {below, above}) {
            if (!m || m->finished.fetch_add(1, std::memory_order_acq_rel) % 2 == 0) continue;
            const int edge = m == below ? first : end;  // the upper band's first row
            clear_row(edge - 1);
            clear_row(edge);
        }
    };
    const int wanted = teams();
    if (wanted == 1) return sweep_alone();
#pragma omp parallel num_threads(wanted)
    {
        // The team may be smaller than asked for (a limit on threads): the rows are shared among it.
        int team = 1, member = 0;
#ifdef _OPENMP
        team = omp_get_num_threads();
        member = omp_get_thread_num();
#endif
        if (team == 1) {
            sweep_alone();
        } else if (member < team) {
            sweep_band(member, team);
        }
    }
}

void Lattice::collide() {
    const float omega = collision_rate(tau);
    // A cell's collision touches that cell only, so any order, and any split among threads, gives the
    // same result.
    const int row_count = rows();
    const std::size_t width = std::size_t(columns());
#pragma omp parallel for num_threads(teams()) schedule(static)
    for (int y = 0; y < row_count; ++y) {
        for (auto& plane : planes) {
            const auto first = plane->cells.begin() + std::ptrdiff_t(std::size_t(y) * width);
            for (auto cell = first; cell != first + std::ptrdiff_t(width); ++cell) collide_cell(**cell, omega);
        }
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
