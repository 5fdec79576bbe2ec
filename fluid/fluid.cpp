#include "fluid/fluid.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <utility>

namespace fluid {

namespace {

constexpr double PI = 3.14159265358979323846;

// Cells the sweep gathers by hand and collides together: the rows' ends and the cells with boundary
// links, which the plain runs of rows get wrong.
constexpr int BLOCK = 16;

// The least cells a thread of the step takes, and about how many cells it takes at a time.
constexpr std::size_t MIN_CELLS_PER_THREAD = 8192;
constexpr int CHUNK_CELLS = 8192;

// Threads for a pass over the cells: at most the fluid's count, at least one.
int threads_for(std::size_t cells, int threads) {
    return int(std::clamp<std::size_t>(cells / MIN_CELLS_PER_THREAD, 1, std::size_t(threads)));
}

struct Tables {
    float cx[Q], cy[Q], cz[Q], w[Q], ws[SMOKE_Q];
    int opposite[Q];
};

constexpr Tables make_tables() {
    Tables t{};
    for (int i = 0; i < Q; ++i) {
        t.cx[i] = float(velocity_of(i).x);
        t.cy[i] = float(velocity_of(i).y);
        t.cz[i] = float(velocity_of(i).z);
        t.w[i] = float(weight_of(i));
        t.opposite[i] = opposite_of(i);
    }
    for (int i = 0; i < SMOKE_Q; ++i) t.ws[i] = float(smoke_weight_of(i));
    return t;
}

constexpr Tables T = make_tables();

}  // namespace

Fluid::Fluid(const Setup& setup) : setup_(setup) {
    if (auto problem = setup_problem(setup)) throw std::invalid_argument(*problem);
    columns_ = setup.columns;
    rows_ = setup.rows;
    planes_ = setup.planes;
    cells_ = std::size_t(*cell_count(setup));
    // A whole number of pages and one line (see stride_): a run's last cell may read a float past
    // its direction's cells, which stays inside the padding.
    stride_ = (cells_ + 1023) / 1024 * 1024 + LINE_FLOATS;
    periodic_[0] = setup.face(Face::left).kind == Kind::periodic;
    periodic_[1] = setup.face(Face::bottom).kind == Kind::periodic;
    periodic_[2] = setup.face(Face::front).kind == Kind::periodic;
    omega_ = float(1 / setup.tau);
    omega_smoke_ = float(1 / (setup.diffusivity / SMOKE_CS2 + 0.5));
    forced_ = setup.force.x != 0 || setup.force.y != 0 || setup.force.z != 0 || setup.buoyancy != 0;
    reset();
}

void Fluid::reset() {
    const Setup& setup = setup_;
    current_ = 0;
    steps_ = 0;
    // Same sizes as before: assign reuses the memory, so a reset allocates nothing but the links.
    for (int c = 0; c < 2; ++c) {
        store_[c].assign(copy_floats(), 0.0f);
    }
    solid_.assign(cells_, 0);
    if (!setup.discs.empty() || !setup.boxes.empty()) {
        for (int y = 0; y < rows_; ++y) {
            for (int x = 0; x < columns_; ++x) {
                if (!on_obstacle(setup, x, y)) continue;
                for (int z = 0; z < planes_; ++z) solid_[index(x, y, z)] = 1;
            }
        }
    }
    build_links();

    // Each cell starts at the equilibrium of its initial velocity, density 1: its populations are put
    // where the first step gathers them from.
    const double U = setup.taylor_green;
    for (int z = 0; z < planes_; ++z) {
        for (int y = 0; y < rows_; ++y) {
            for (int x = 0; x < columns_; ++x) {
                if (solid_[index(x, y, z)]) continue;
                const double ax = 2 * PI * x / columns_, ay = 2 * PI * y / rows_;
                const double ux = setup.flow.x - U * std::cos(ax) * std::sin(ay);
                const double uy = setup.flow.y + U * (double(rows_) / columns_) * std::sin(ax) * std::cos(ay);
                const double uz = setup.flow.z;
                const auto f = equilibrium(1, ux, uy, uz);
                for (int i = 0; i < Q; ++i) place_fluid(x, y, z, i, float(f[i] - weight_of(i)));
            }
        }
    }
    for (const Source& puff : setup.puffs) {
        const Vec3 u = velocity(puff.column, puff.row, puff.plane);
        for (int i = 0; i < SMOKE_Q; ++i) {
            const Velocity c = velocity_of(i);
            const double cu = c.x * u.x + c.y * u.y + c.z * u.z;
            add_smoke_population(puff.column, puff.row, puff.plane, i, float(smoke_weight_of(i) * puff.smoke * (1 + cu / SMOKE_CS2)));
        }
    }
}

int Fluid::fold(int v, int n, bool periodic) const {
    if (v >= 0 && v < n) return v;
    if (periodic) return ((v % n) + n) % n;
    return v < 0 ? 0 : n - 1;
}

Fluid::Pull Fluid::pull_of(int x, int y, int z, int i) const {
    const Velocity c = velocity_of(i);
    int s[3] = {x - c.x, y - c.y, z - c.z};
    const int n[3] = {columns_, rows_, planes_};
    const Boundary* wall = nullptr;
    const Boundary* inflow = nullptr;
    for (int a = 0; a < 3; ++a) {
        if (s[a] >= 0 && s[a] < n[a]) continue;
        const Boundary& b = setup_.faces[2 * a + (s[a] >= n[a] ? 1 : 0)];
        // Where a diagonal leaves through two faces, a wall wins over an inflow, and the first face in
        // the order left, right, bottom, top, front, back over the later ones; outflow only if both are.
        if (b.kind == Kind::wall && !wall) wall = &b;
        if (b.kind == Kind::inflow && !inflow) inflow = &b;
        s[a] = fold(s[a], n[a], b.kind == Kind::periodic);
    }
    const std::size_t own = index(x, y, z);
    if (wall || inflow) {
        const Boundary& b = wall ? *wall : *inflow;
        const Vec3 u = b.velocity.value_or(Vec3{});
        // Bounce-back off a wall moving at u: f_i = f*_opposite + 6 w_i rho_w (c_i . u), rho_w taken as 1.
        const double correction = 6 * weight_of(i) * (c.x * u.x + c.y * u.y + c.z * u.z);
        return {wall ? FROM_WALL : FROM_INFLOW, own, float(correction)};
    }
    const std::size_t from = index(s[0], s[1], s[2]);
    if (solid_[from]) return {FROM_WALL, own, 0.0f};
    return {FROM_CELL, from, 0.0f};
}

void Fluid::build_links() {
    links_.clear();
    row_links_.assign(std::size_t(planes_) * rows_ + 1, 0);
    const bool any_solid = std::find(solid_.begin(), solid_.end(), 1) != solid_.end();
    for (int z = 0; z < planes_; ++z) {
        const bool z_edge = !periodic_[2] && (z == 0 || z == planes_ - 1);
        for (int y = 0; y < rows_; ++y) {
            const bool y_edge = !periodic_[1] && (y == 0 || y == rows_ - 1);
            row_links_[std::size_t(z) * rows_ + y] = links_.size();
            for (int x = 0; x < columns_; ++x) {
                const bool x_edge = !periodic_[0] && (x == 0 || x == columns_ - 1);
                if (!(any_solid || x_edge || y_edge || z_edge) || solid_[index(x, y, z)]) continue;
                for (int i = 1; i < Q; ++i) {
                    const Pull p = pull_of(x, y, z, i);
                    if (p.kind != FROM_CELL) links_.push_back({std::uint32_t(x), std::uint8_t(i), p.kind, p.correction});
                }
            }
        }
    }
    row_links_.back() = links_.size();
}

std::size_t Fluid::slot_of(const Pull& p, int i) const {
    return p.kind == FROM_CELL ? i * stride_ + p.cell : T.opposite[i] * stride_ + p.cell;
}

void Fluid::place_fluid(int x, int y, int z, int i, float value) {
    const Pull p = pull_of(x, y, z, i);
    f_of(current_)[slot_of(p, i)] = value - p.correction;
}

void Fluid::add_smoke_population(int x, int y, int z, int i, float value) {
    const Pull p = pull_of(x, y, z, i);
    // Across a face that is not periodic the pull gathers no stored smoke of the cell's own: an inflow
    // brings in none, and across an outflow it reads a slot that an inner cell reads too, so adding
    // there would drop the smoke or count it twice. It joins the cell's rest slot instead.
    const Velocity c = velocity_of(i);
    const int from[3] = {x - c.x, y - c.y, z - c.z}, n[3] = {columns_, rows_, planes_};
    for (int a = 0; a < 3; ++a) {
        if (!periodic_[a] && (from[a] < 0 || from[a] >= n[a])) {
            g_of(current_)[index(x, y, z)] += value;
            return;
        }
    }
    g_of(current_)[slot_of(p, i)] += value;
}

void Fluid::gather(int x, int y, int z, std::array<float, Q>& h, std::array<float, SMOKE_Q>& g) const {
    const float* fin = f_of(current_);
    const float* gin = g_of(current_);
    for (int i = 0; i < Q; ++i) {
        const Pull p = pull_of(x, y, z, i);
        if (p.kind == FROM_CELL) {
            h[i] = fin[i * stride_ + p.cell];
            if (i < SMOKE_Q) g[i] = gin[i * stride_ + p.cell];
        } else {
            const int o = T.opposite[i];
            h[i] = fin[o * stride_ + p.cell] + p.correction;
            if (i < SMOKE_Q) g[i] = p.kind == FROM_WALL ? gin[o * stride_ + p.cell] : 0.0f;
        }
    }
}

namespace {

// The block's streams for the collision: where each direction's gathered populations are read (a
// plain shifted row of the stored copy, or a block gathered by hand) and where they are written.
struct Streams {
    const float* h[Q];
    const float* g[SMOKE_Q];
    float* f[Q];
    float* s[SMOKE_Q];
};

struct Rates {
    float omega, omega_smoke;
    float force_factor;       // 1 - omega / 2, Guo's
    float fx, fy, fz, buoyancy;
};

template <typename Body, std::size_t... I>
inline __attribute__((always_inline)) void each(std::index_sequence<I...>, Body&& body) {
    (body(std::integral_constant<int, int(I)>{}), ...);
}

// c_i . (ax, ay, az) with the zero terms left out: 0 * a is not folded away by the compiler (it
// would be wrong for an infinite a), and the collision computes it for every direction.
template <int I>
inline float dot(float ax, float ay, float az) {
    constexpr Velocity c = velocity_of(I);
    constexpr int moving = (c.x != 0) + (c.y != 0) + (c.z != 0);
    static_assert(moving == 1 || moving == 2, "D3Q19's moving directions change one or two coordinates");
    const float x = c.x > 0 ? ax : -ax, y = c.y > 0 ? ay : -ay, z = c.z > 0 ? az : -az;
    if constexpr (moving == 2) {
        if constexpr (c.x == 0) return y + z;
        else if constexpr (c.y == 0) return x + z;
        else return x + y;
    } else {
        if constexpr (c.x != 0) return x;
        else if constexpr (c.y != 0) return y;
        else return z;
    }
}

// The collision of n cells in one pass, each cell's populations in registers: moments, then BGK
// with Guo's forcing, then the smoke. The rest directions come last and take what the others leave
// of the cell's mass and smoke, so that float rounding in the equilibrium and the forcing term
// (whose sums over i vanish only in exact arithmetic) cannot drift the totals. The streams never
// overlap: the output copy is not the input copy, nor the block gathered by hand.
template <bool FORCED>
inline __attribute__((always_inline)) void collide_cells(const Streams& streams, int n, const Rates& r) {
    constexpr auto ALL = std::make_index_sequence<Q>();
    constexpr auto MOVING = std::make_index_sequence<Q - 1>();
    constexpr auto SMOKE_MOVING = std::make_index_sequence<SMOKE_Q - 1>();
    const float om = r.omega, oms = r.omega_smoke;
    const float fx = r.fx, fz = r.fz;
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC ivdep
#endif
    for (int k = 0; k < n; ++k) {
        float h[Q], g[SMOKE_Q];
        each(ALL, [&](auto i) { h[i] = streams.h[i][k]; });
        each(std::make_index_sequence<SMOKE_Q>(), [&](auto i) { g[i] = streams.g[i][k]; });

        float rd = h[0], jx = 0, jy = 0, jz = 0;
        each(MOVING, [&](auto m) {
            constexpr int i = decltype(m)::value + 1;
            constexpr Velocity c = velocity_of(i);
            rd += h[i];
            if constexpr (c.x != 0) jx += c.x > 0 ? h[i] : -h[i];
            if constexpr (c.y != 0) jy += c.y > 0 ? h[i] : -h[i];
            if constexpr (c.z != 0) jz += c.z > 0 ? h[i] : -h[i];
        });
        const float C = ((g[0] + g[1]) + (g[2] + g[3])) + ((g[4] + g[5]) + g[6]);
        const float Fy = FORCED ? r.fy + r.buoyancy * C : 0.0f;
        const float rho = 1 + rd, inv = 1 / rho;
        const float ux = FORCED ? (jx + 0.5f * fx) * inv : jx * inv;
        const float uy = FORCED ? (jy + 0.5f * Fy) * inv : jy * inv;
        const float uz = FORCED ? (jz + 0.5f * fz) * inv : jz * inv;
        const float usq = ux * ux + uy * uy + uz * uz;
        const float uF = FORCED ? ux * fx + uy * Fy + uz * fz : 0.0f;
        const float q = rd - 1.5f * rho * usq;

        float sent = 0;
        each(MOVING, [&](auto m) {
            constexpr int i = decltype(m)::value + 1;
            constexpr float w = float(weight_of(i));
            const float cu = dot<i>(ux, uy, uz);
            const float heq = w * (q + rho * cu * (3 + 4.5f * cu));
            float value = h[i] + om * (heq - h[i]);
            if constexpr (FORCED) {
                const float cF = dot<i>(fx, Fy, fz);
                value += r.force_factor * w * (3 * (cF - uF) + 9 * cu * cF);
            }
            sent += value;
            streams.f[i][k] = value;
        });
        streams.f[0][k] = rd - sent;

        // The smoke relaxes toward w_i C (1 + c_i.u / c_s^2).
        float smoke_sent = 0;
        each(SMOKE_MOVING, [&](auto m) {
            constexpr int i = decltype(m)::value + 1;
            constexpr float w = float(smoke_weight_of(i));
            const float geq = w * C * (1 + 4 * dot<i>(ux, uy, uz));
            const float value = g[i] + oms * (geq - g[i]);
            smoke_sent += value;
            streams.s[i][k] = value;
        });
        streams.s[0][k] = C - smoke_sent;
    }
}

// Wider vectors where the processor has them, chosen when the program starts; the plain clone runs
// on any x86-64. Each cell's arithmetic is the same sequence of IEEE operations in every clone (the
// lanes are cells, and nothing is contracted), so all give the same figures, as the page does.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define FLUID_CLONES __attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
#else
#define FLUID_CLONES
#endif

// flatten: the per-direction lambdas must be inlined for the loop to vectorise.
FLUID_CLONES __attribute__((flatten)) void collide_forced(const Streams& streams, int n, const Rates& r) {
    collide_cells<true>(streams, n, r);
}
FLUID_CLONES __attribute__((flatten)) void collide_unforced(const Streams& streams, int n, const Rates& r) {
    collide_cells<false>(streams, n, r);
}

}  // namespace

void Fluid::sweep_rows(long long first, long long last) {
    const std::size_t N = stride_;
    const float* fin = f_of(current_);
    const float* gin = g_of(current_);
    float* fout = f_of(1 - current_);
    float* gout = g_of(1 - current_);
    const Rates rates = {omega_, omega_smoke_, 1 - omega_ / 2, float(setup_.force.x), float(setup_.force.y),
                         float(setup_.force.z), float(setup_.buoyancy)};
    const auto collide = forced_ ? collide_forced : collide_unforced;

    // How far back each direction reads in a row r: cell - back[i] is where the cell's population i
    // comes from, for every cell but those at the row's ends, which fold, and those with links.
    const auto backs = [&](long long r, std::ptrdiff_t (&back)[Q]) {
        const int y = int(r % rows_), z = int(r / rows_);
        for (int i = 0; i < Q; ++i) {
            const Velocity c = velocity_of(i);
            const std::size_t from = index(0, fold(y - c.y, rows_, periodic_[1]), fold(z - c.z, planes_, periodic_[2]));
            back[i] = std::ptrdiff_t(index(0, y, z)) - std::ptrdiff_t(from) + c.x;
        }
    };

    // The cells a run gets wrong, gathered by hand and collided again, a block at a time.
    struct Block {
        int n = 0;
        std::size_t cell[BLOCK];
        alignas(64) float h[Q][BLOCK], g[SMOKE_Q][BLOCK], f[Q][BLOCK], s[SMOKE_Q][BLOCK];
    } block;
    const auto flush = [&] {
        Streams st;
        for (int i = 0; i < Q; ++i) st.h[i] = block.h[i], st.f[i] = block.f[i];
        for (int i = 0; i < SMOKE_Q; ++i) st.g[i] = block.g[i], st.s[i] = block.s[i];
        collide(st, block.n, rates);
        for (int k = 0; k < block.n; ++k) {
            for (int i = 0; i < Q; ++i) fout[i * N + block.cell[k]] = block.f[i][k];
            for (int i = 0; i < SMOKE_Q; ++i) gout[i * N + block.cell[k]] = block.s[i][k];
        }
        block.n = 0;
    };
    // Column x of row r, whose directions read back[] behind, with the links [link, link_end) of
    // that cell.
    const auto redo = [&](long long r, int x, const std::ptrdiff_t (&back)[Q], const Link* link, const Link* link_end) {
        const int k = block.n;
        const std::size_t row = std::size_t(r) * columns_, cell = row + x;
        block.cell[k] = cell;
        for (int i = 0; i < Q; ++i) {
            const int cx = velocity_of(i).x;
            // The row the direction reads from, then its column, folded across the row's ends.
            const std::size_t from = row + cx - back[i] + fold(x - cx, columns_, periodic_[0]);
            block.h[i][k] = fin[i * N + from];
            if (i < SMOKE_Q) block.g[i][k] = gin[i * N + from];
        }
        for (; link != link_end; ++link) {
            const int i = link->direction, o = T.opposite[i];
            block.h[i][k] = fin[o * N + cell] + link->correction;
            if (i < SMOKE_Q) block.g[i][k] = link->kind == FROM_WALL ? gin[o * N + cell] : 0.0f;
        }
        if (++block.n == BLOCK) flush();
    };

    std::ptrdiff_t back[Q], next[Q];
    backs(first, back);
    for (long long r = first; r < last;) {
        // A run: the following rows that read the same distances back, one stretch of memory.
        long long end = r + 1;
        for (; end < last; ++end) {
            backs(end, next);
            if (!std::equal(back, back + Q, next)) break;
        }
        const std::size_t a = std::size_t(r) * columns_, b = std::size_t(end) * columns_;
        // Every cell of the run as if it read straight back, the rows' ends too: across the fold they
        // read the neighbouring row's end, at most one float before or after their direction's
        // cells (the previous direction's padding, or its own), and are redone below.
        Streams st;
        for (int i = 0; i < Q; ++i) st.h[i] = fin + i * N + a - back[i], st.f[i] = fout + i * N + a;
        for (int i = 0; i < SMOKE_Q; ++i) st.g[i] = gin + i * N + a - back[i], st.s[i] = gout + i * N + a;
        collide(st, int(b - a), rates);

        // Then each row's ends and the cells beside a wall or an obstacle, from left to right.
        for (long long q = r; q < end; ++q) {
            const Link* link = links_.data() + row_links_[std::size_t(q)];
            const Link* const link_end = links_.data() + row_links_[std::size_t(q) + 1];
            for (int x = 0; x < columns_;) {
                const Link* cell_end = link;
                while (cell_end != link_end && int(cell_end->column) == x) ++cell_end;
                if (x == 0 || x == columns_ - 1 || cell_end != link) redo(q, x, back, link, cell_end);
                link = cell_end;
                // Next: the right end, or the next link's column if it comes first.
                const int right = x + 1 < columns_ - 1 ? columns_ - 1 : x + 1;
                x = link != link_end ? std::min(int(link->column), right) : right;
            }
        }
        r = end;
        std::copy(next, next + Q, back);
    }
    flush();
}

void Fluid::set_threads(int count) {
    if (count < 1) throw std::invalid_argument("the fluid needs at least one thread, not " + std::to_string(count));
    threads_ = count;
}

void Fluid::advance() {
    // Rows are independent in a pull step: each writes only its own cells' slots, so any share of
    // them among threads gives the same figures. A small world's step is shorter than waking threads
    // for it: each thread takes at least MIN_CELLS_PER_THREAD cells. Rows go out in chunks as threads
    // come free, so that a thread the machine holds back delays the step by a chunk, not by its share.
    const long long row_count = (long long)planes_ * rows_;
    const long long chunk = std::max(1, CHUNK_CELLS / columns_);
    const long long chunks = (row_count + chunk - 1) / chunk;
    [[maybe_unused]] const int threads = threads_for(cells_, threads_);  // unused without OpenMP
#ifdef _OPENMP
#pragma omp parallel for schedule(dynamic) num_threads(threads) if (threads > 1)
#endif
    for (long long c = 0; c < chunks; ++c) sweep_rows(c * chunk, std::min(row_count, (c + 1) * chunk));
    current_ = 1 - current_;
    for (const Source& s : setup_.sources) add_smoke(s.column, s.row, s.plane, s.smoke);
    ++steps_;
}

void Fluid::step() {
    advance();
    report();
}

void Fluid::report(std::FILE* out) const {
    const int columns = std::min(10, columns_);
    for (int i = 0; i < columns; ++i) {
        std::fprintf(out, "Lattice %i: %f / %f\n", i, double(smoke(i, setup_.report_row, 0)),
                     double(population(i, setup_.report_row, 0, 4)));
    }
    std::fputc('\n', out);
    std::fflush(out);
}

namespace {
void check_place(int x, int y, int z, int columns, int rows, int planes) {
    if (x < 0 || x >= columns || y < 0 || y >= rows || z < 0 || z >= planes) {
        throw std::out_of_range("no cell at column " + std::to_string(x) + ", row " + std::to_string(y) + ", plane " +
                                std::to_string(z));
    }
}
}  // namespace

bool Fluid::solid(int x, int y, int z) const {
    check_place(x, y, z, columns_, rows_, planes_);
    return solid_[index(x, y, z)] != 0;
}

Fluid::Cell Fluid::cell(int x, int y, int z) const {
    Cell c;
    if (solid(x, y, z)) {
        c.solid = true;
        for (int i = 0; i < Q; ++i) c.populations[i] = T.w[i];
        return c;
    }
    std::array<float, Q> h;
    std::array<float, SMOKE_Q> g;
    gather(x, y, z, h, g);
    double rd = 0, jx = 0, jy = 0, jz = 0;
    for (int i = 0; i < Q; ++i) {
        rd += h[i];
        jx += T.cx[i] * h[i];
        jy += T.cy[i] * h[i];
        jz += T.cz[i] * h[i];
        c.populations[i] = h[i] + T.w[i];
    }
    float smoke = 0;
    double C = 0;  // the buoyancy's smoke, summed as the step sums it
    for (float v : g) {
        smoke += v;
        C += v;
    }
    c.smoke = smoke;
    c.density = 1 + rd;
    const Vec3 F = {setup_.force.x, setup_.force.y + setup_.buoyancy * C, setup_.force.z};
    c.velocity = {(jx + 0.5 * F.x) / c.density, (jy + 0.5 * F.y) / c.density, (jz + 0.5 * F.z) / c.density};
    return c;
}

float Fluid::population(int x, int y, int z, int i) const {
    if (i < 0 || i >= Q) throw std::out_of_range("no population " + std::to_string(i));
    return cell(x, y, z).populations[i];
}

Fluid::Totals Fluid::totals() const {
    // Each row's partial sums, then the rows' in order: the same figures whatever the threads.
    const long long row_count = (long long)planes_ * rows_;
    std::vector<Totals> partial(std::size_t(row_count), Totals{});
    [[maybe_unused]] const int threads = threads_for(cells_, threads_);  // unused without OpenMP
#ifdef _OPENMP
#pragma omp parallel for schedule(static) num_threads(threads) if (threads > 1)
#endif
    for (long long r = 0; r < row_count; ++r) {
        const int y = int(r % rows_), z = int(r / rows_);
        Totals& t = partial[std::size_t(r)];
        std::array<float, Q> h;
        std::array<float, SMOKE_Q> g;
        for (int x = 0; x < columns_; ++x) {
            if (solid_[index(x, y, z)]) continue;
            gather(x, y, z, h, g);
            t.mass += 1;
            for (float v : h) t.mass += v;
            for (float v : g) t.smoke += v;
        }
    }
    Totals t;
    for (const Totals& row : partial) {
        t.mass += row.mass;
        t.smoke += row.smoke;
    }
    return t;
}

void Fluid::add_smoke(int x, int y, int z, float amount) {
    check_place(x, y, z, columns_, rows_, planes_);
    const std::size_t cell = index(x, y, z);
    if (!solid_[cell]) g_of(current_)[cell] += amount;  // direction 0: the cell gathers its own rest slot
}

void Fluid::set_solid(int x, int y, int z, bool solid) {
    check_place(x, y, z, columns_, rows_, planes_);
    const std::size_t cell = index(x, y, z);
    if ((solid_[cell] != 0) == solid) return;
    solid_[cell] = solid ? 1 : 0;
    for (int i = 0; i < Q; ++i) f_of(current_)[i * stride_ + cell] = 0;
    for (int i = 0; i < SMOKE_Q; ++i) g_of(current_)[i * stride_ + cell] = 0;
    build_links();
}

}  // namespace fluid
