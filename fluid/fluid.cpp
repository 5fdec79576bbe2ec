#include "fluid/fluid.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace fluid {

namespace {

constexpr double PI = 3.14159265358979323846;

// Columns per block of the sweep: the block's populations and moments stay in the first-level cache.
constexpr int BLOCK = 64;

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
        f_[c].assign(Q * cells_, 0.0f);
        g_[c].assign(SMOKE_Q * cells_, 0.0f);
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
    return p.kind == FROM_CELL ? i * cells_ + p.cell : T.opposite[i] * cells_ + p.cell;
}

void Fluid::place_fluid(int x, int y, int z, int i, float value) {
    const Pull p = pull_of(x, y, z, i);
    f_[current_][slot_of(p, i)] = value - p.correction;
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
            g_[current_][index(x, y, z)] += value;
            return;
        }
    }
    g_[current_][slot_of(p, i)] += value;
}

void Fluid::gather(int x, int y, int z, std::array<float, Q>& h, std::array<float, SMOKE_Q>& g) const {
    const std::vector<float>& fin = f_[current_];
    const std::vector<float>& gin = g_[current_];
    for (int i = 0; i < Q; ++i) {
        const Pull p = pull_of(x, y, z, i);
        if (p.kind == FROM_CELL) {
            h[i] = fin[i * cells_ + p.cell];
            if (i < SMOKE_Q) g[i] = gin[i * cells_ + p.cell];
        } else {
            const int o = T.opposite[i];
            h[i] = fin[o * cells_ + p.cell] + p.correction;
            if (i < SMOKE_Q) g[i] = p.kind == FROM_WALL ? gin[o * cells_ + p.cell] : 0.0f;
        }
    }
}

void Fluid::sweep_row(int y, int z) {
    const std::size_t N = cells_;
    const float* fin = f_[current_].data();
    const float* gin = g_[current_].data();
    float* fout = f_[1 - current_].data();
    float* gout = g_[1 - current_].data();
    const std::size_t row = index(0, y, z);
    const std::uint8_t* solid = solid_.data() + row;

    std::size_t from_row[Q];
    for (int i = 0; i < Q; ++i) {
        const Velocity c = velocity_of(i);
        from_row[i] = index(0, fold(y - c.y, rows_, periodic_[1]), fold(z - c.z, planes_, periodic_[2]));
    }
    const Link* link = links_.data() + row_links_[std::size_t(z) * rows_ + y];
    const Link* const link_end = links_.data() + row_links_[std::size_t(z) * rows_ + y + 1];

    const float om = omega_, oms = omega_smoke_;
    const float force_factor = 1 - om / 2;
    const float fx = float(setup_.force.x), fy = float(setup_.force.y), fz = float(setup_.force.z);
    const float buoyancy = float(setup_.buoyancy);

    for (int x0 = 0; x0 < columns_; x0 += BLOCK) {
        const int n = std::min(BLOCK, columns_ - x0);
        alignas(64) float h[Q][BLOCK], g[SMOKE_Q][BLOCK];
        alignas(64) float rd[BLOCK], jx[BLOCK], jy[BLOCK], jz[BLOCK], C[BLOCK];
        alignas(64) float ux[BLOCK], uy[BLOCK], uz[BLOCK], rho[BLOCK], usq[BLOCK], keep[BLOCK];
        alignas(64) float Fx[BLOCK], Fy[BLOCK], Fz[BLOCK], uF[BLOCK];

        // Gather: within the row a direction's sources are the columns shifted by its c_x.
        for (int i = 0; i < Q; ++i) {
            const int cx = velocity_of(i).x;
            const int lo = std::max(x0, cx), hi = std::min(x0 + n, columns_ + cx);
            const float* src = fin + i * N + from_row[i];
            for (int x = lo; x < hi; ++x) h[i][x - x0] = src[x - cx];
            const bool first_edge = cx == 1 && x0 == 0, last_edge = cx == -1 && x0 + n == columns_;
            if (first_edge) h[i][0] = src[fold(-1, columns_, periodic_[0])];
            if (last_edge) h[i][n - 1] = src[fold(columns_, columns_, periodic_[0])];
            if (i < SMOKE_Q) {
                const float* gsrc = gin + i * N + from_row[i];
                for (int x = lo; x < hi; ++x) g[i][x - x0] = gsrc[x - cx];
                if (first_edge) g[i][0] = gsrc[fold(-1, columns_, periodic_[0])];
                if (last_edge) g[i][n - 1] = gsrc[fold(columns_, columns_, periodic_[0])];
            }
        }
        // Walls, obstacles and inflow: bounce back this cell's own reversed population.
        for (; link != link_end && int(link->column) < x0 + n; ++link) {
            const int k = int(link->column) - x0, i = link->direction, o = T.opposite[i];
            const std::size_t cell = row + link->column;
            h[i][k] = fin[o * N + cell] + link->correction;
            if (i < SMOKE_Q) g[i][k] = link->kind == FROM_WALL ? gin[o * N + cell] : 0.0f;
        }

        // Moments.
        for (int k = 0; k < n; ++k) {
            rd[k] = h[0][k];
            jx[k] = jy[k] = jz[k] = 0;
            C[k] = g[0][k];
            keep[k] = solid[x0 + k] ? 0.0f : 1.0f;
        }
        for (int i = 1; i < Q; ++i) {
            const float cx = T.cx[i], cy = T.cy[i], cz = T.cz[i];
            for (int k = 0; k < n; ++k) {
                rd[k] += h[i][k];
                jx[k] += cx * h[i][k];
                jy[k] += cy * h[i][k];
                jz[k] += cz * h[i][k];
            }
        }
        for (int i = 1; i < SMOKE_Q; ++i) {
            for (int k = 0; k < n; ++k) C[k] += g[i][k];
        }
        for (int k = 0; k < n; ++k) {
            Fx[k] = fx;
            Fy[k] = fy + buoyancy * C[k];
            Fz[k] = fz;
            rho[k] = 1 + rd[k];
            const float inv = 1 / rho[k];
            ux[k] = (jx[k] + 0.5f * Fx[k]) * inv;
            uy[k] = (jy[k] + 0.5f * Fy[k]) * inv;
            uz[k] = (jz[k] + 0.5f * Fz[k]) * inv;
            usq[k] = ux[k] * ux[k] + uy[k] * uy[k] + uz[k] * uz[k];
            uF[k] = ux[k] * Fx[k] + uy[k] * Fy[k] + uz[k] * Fz[k];
        }

        // BGK collision of the deviations from rest, with Guo's forcing term. The rest direction comes
        // last and takes what the others leave of the cell's mass, so that float rounding in the
        // equilibrium and the forcing term (whose sums over i vanish only in exact arithmetic) cannot
        // drift the total mass.
        alignas(64) float sent[BLOCK];
        for (int k = 0; k < n; ++k) sent[k] = 0;
        for (int i = 1; i < Q; ++i) {
            const float cx = T.cx[i], cy = T.cy[i], cz = T.cz[i], w = T.w[i];
            float* out = fout + i * N + row + x0;
            if (forced_) {
                for (int k = 0; k < n; ++k) {
                    const float cu = cx * ux[k] + cy * uy[k] + cz * uz[k];
                    const float heq = w * (rd[k] + rho[k] * (3 * cu + 4.5f * cu * cu - 1.5f * usq[k]));
                    const float cF = cx * Fx[k] + cy * Fy[k] + cz * Fz[k];
                    const float source = force_factor * w * (3 * (cF - uF[k]) + 9 * cu * cF);
                    const float value = h[i][k] + om * (heq - h[i][k]) + source;
                    sent[k] += value;
                    out[k] = value * keep[k];
                }
            } else {
                for (int k = 0; k < n; ++k) {
                    const float cu = cx * ux[k] + cy * uy[k] + cz * uz[k];
                    const float heq = w * (rd[k] + rho[k] * (3 * cu + 4.5f * cu * cu - 1.5f * usq[k]));
                    const float value = h[i][k] + om * (heq - h[i][k]);
                    sent[k] += value;
                    out[k] = value * keep[k];
                }
            }
        }
        {
            float* out = fout + row + x0;
            for (int k = 0; k < n; ++k) out[k] = (rd[k] - sent[k]) * keep[k];
        }
        // The smoke relaxes toward w_i C (1 + c_i.u / c_s^2); its rest population, too, takes what the
        // others leave, so the smoke is conserved to rounding.
        for (int k = 0; k < n; ++k) sent[k] = 0;
        for (int i = 1; i < SMOKE_Q; ++i) {
            const float cx = T.cx[i], cy = T.cy[i], cz = T.cz[i], w = T.ws[i];
            float* out = gout + i * N + row + x0;
            for (int k = 0; k < n; ++k) {
                const float cu = cx * ux[k] + cy * uy[k] + cz * uz[k];
                const float geq = w * C[k] * (1 + 4 * cu);
                const float value = g[i][k] + oms * (geq - g[i][k]);
                sent[k] += value;
                out[k] = value * keep[k];
            }
        }
        {
            float* out = gout + row + x0;
            for (int k = 0; k < n; ++k) out[k] = (C[k] - sent[k]) * keep[k];
        }
    }
}

void Fluid::advance() {
    for (int z = 0; z < planes_; ++z) {
        for (int y = 0; y < rows_; ++y) sweep_row(y, z);
    }
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
    Totals t;
    std::array<float, Q> h;
    std::array<float, SMOKE_Q> g;
    for (int z = 0; z < planes_; ++z) {
        for (int y = 0; y < rows_; ++y) {
            for (int x = 0; x < columns_; ++x) {
                if (solid_[index(x, y, z)]) continue;
                gather(x, y, z, h, g);
                t.mass += 1;
                for (float v : h) t.mass += v;
                for (float v : g) t.smoke += v;
            }
        }
    }
    return t;
}

void Fluid::add_smoke(int x, int y, int z, float amount) {
    check_place(x, y, z, columns_, rows_, planes_);
    const std::size_t cell = index(x, y, z);
    if (!solid_[cell]) g_[current_][cell] += amount;  // direction 0: the cell gathers its own rest slot
}

void Fluid::set_solid(int x, int y, int z, bool solid) {
    check_place(x, y, z, columns_, rows_, planes_);
    const std::size_t cell = index(x, y, z);
    if ((solid_[cell] != 0) == solid) return;
    solid_[cell] = solid ? 1 : 0;
    for (int i = 0; i < Q; ++i) f_[current_][i * cells_ + cell] = 0;
    for (int i = 0; i < SMOKE_Q; ++i) g_[current_][i * cells_ + cell] = 0;
    build_links();
}

}  // namespace fluid
