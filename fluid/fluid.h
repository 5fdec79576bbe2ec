// The textbook fluid: D3Q19 BGK with Guo's forcing, walls, obstacles, inflow and outflow, and a
// smoke carried by the flow in a D3Q7 scheme of its own.
//
// State. Each copy holds, per direction, the population each cell sent after its last collision
// (for the fluid, as its difference from the weight at rest, f_i - w_i, so that float keeps the
// small part exactly). A step pulls: every cell gathers what its neighbours sent (bounce-back where
// the neighbour is a wall or an obstacle), collides, and writes only its own slots of the other
// copy. So cells can be updated in any order, or in parallel by rows, with the same figures: the
// step's threads share the rows out, and its figures are the same bit for bit at any thread count.
// The accessors show the gathered populations: what the next collision will start from. A solid
// cell's slots hold whatever the sweep made of them: no fluid cell gathers from a solid one, and a
// cell made fluid again starts from zeroed slots.
//
// Memory per cell update: 19 fluid and 7 smoke floats read and as many written (208 bytes), plus
// the write-allocate of the written lines (the cache reads each line before it writes it). The
// step reads no solid flags: a cell beside an obstacle has its links.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <new>
#include <thread>
#include <vector>

#include "fluid/setup.h"
#include "fluid/velocity_set.h"

namespace fluid {

class Fluid {
public:
    // Throws std::invalid_argument with setup_problem's message when the setup breaks a rule.
    explicit Fluid(const Setup& setup);

    // Back to the state the constructor leaves, in place: obstacles as the setup has them, the initial
    // flow, the puffs, step 0.
    void reset();

    // One step: advance(), then report() to standard output.
    void step();
    // Collision and streaming of every cell, then the sources' smoke.
    void advance();
    // Lines "Lattice %i: %f / %f" for columns 0..min(10, columns)-1 of the report row in plane 0,
    // each the cell's smoke and its population f4, then an empty line and a flush.
    void report(std::FILE* out = stdout) const;

    int columns() const { return columns_; }
    int rows() const { return rows_; }
    int planes() const { return planes_; }
    long long steps() const { return steps_; }
    const Setup& setup() const { return setup_; }

    // Threads the step runs on; a new fluid takes one per hardware thread. The figures do not depend
    // on it. Below 1: std::invalid_argument. Without OpenMP the step runs on the calling thread.
    void set_threads(int count);
    int threads() const { return threads_; }

    // A cell's state, from one gather of what its neighbours sent; a solid cell answers density 1,
    // no velocity, no smoke and the rest weights. Out of the world: std::out_of_range.
    struct Cell {
        float smoke = 0;
        double density = 1;
        Vec3 velocity;  // grid terms (increasing column, row, plane); includes half the cell's force
        std::array<float, Q> populations{};  // the actual f_i, never a stored difference
        bool solid = false;
    };
    Cell cell(int column, int row, int plane) const;
    float smoke(int column, int row, int plane) const { return cell(column, row, plane).smoke; }
    double density(int column, int row, int plane) const { return cell(column, row, plane).density; }
    Vec3 velocity(int column, int row, int plane) const { return cell(column, row, plane).velocity; }
    bool solid(int column, int row, int plane) const;
    float population(int column, int row, int plane, int i) const;

    // Sums over the fluid cells of density and of smoke, in double.
    struct Totals {
        double mass = 0, smoke = 0;
    };
    Totals totals() const;
    double total_mass() const { return totals().mass; }
    double total_smoke() const { return totals().smoke; }

    // A puff at a cell: the amount joins its rest population, so the cell shows it at once and the
    // total grows by exactly that amount. A solid cell takes none.
    void add_smoke(int column, int row, int plane, float amount);
    // Makes a cell solid, or fluid again. A cell made solid drops what it held, populations and smoke;
    // its neighbours bounce off it from the next step. A cell made fluid sends the rest populations
    // (density 1, at rest, no smoke) at the next step and receives what its neighbours send.
    void set_solid(int column, int row, int plane, bool solid);

private:
    // Where a cell's population i comes from when the step gathers it.
    enum PullKind : std::uint8_t { FROM_CELL, FROM_WALL, FROM_INFLOW };
    struct Pull {
        PullKind kind;
        std::size_t cell;   // FROM_CELL: the sending cell; otherwise the cell itself, direction reversed
        float correction;   // a moving wall's or an inflow's momentum: 6 w_i (c_i . u_w)
    };
    // A boundary link: a pull that the plain row-by-row gather gets wrong.
    struct Link {
        std::uint32_t column;
        std::uint8_t direction;
        PullKind kind;
        float correction;
    };

    std::size_t index(int x, int y, int z) const { return (std::size_t(z) * rows_ + y) * columns_ + x; }
    Pull pull_of(int x, int y, int z, int i) const;
    int fold(int v, int n, bool periodic) const;
    void build_links();
    // The gathered populations of one fluid cell: deviations h_i and smoke g_i.
    void gather(int x, int y, int z, std::array<float, Q>& h, std::array<float, SMOKE_Q>& g) const;
    // Rows first..last-1 (row y of plane z is row z * rows + y): runs of rows whose directions all
    // read a fixed distance back, each in one pass over memory; then, by hand, the cells the runs
    // get wrong.
    void sweep_rows(long long first, long long last);
    // The stored slot a pull reads.
    std::size_t slot_of(const Pull& p, int i) const;
    // Write into (add to) the slot that the cell's population i is gathered from, so that the cell
    // gathers that value at the next step.
    void place_fluid(int x, int y, int z, int i, float deviation);
    void add_smoke_population(int x, int y, int z, int i, float value);

    Setup setup_;
    int columns_, rows_, planes_;
    std::size_t cells_;
    bool periodic_[3];
    float omega_, omega_smoke_;
    bool forced_;
    // The two copies, each the fluid's directions, f_i - w_i, then the smoke's, one array of cells per
    // direction: [direction * stride_ + cell]. The stride is a multiple of 4 KB and one cache line,
    // so that the step's 52 streams (26 read, 26 written) fall in different sets of the caches:
    // 4 KB apart, they would all compete for one set and evict each other. The second copy starts
    // half a page further on, for the same reason. Lines are 64-byte aligned.
    static constexpr std::size_t LINE_FLOATS = 16;
    static constexpr std::size_t COPY_SHIFT = 512;
    std::size_t stride_;  // floats between directions
    std::size_t copy_floats() const { return (Q + SMOKE_Q) * stride_ + COPY_SHIFT; }
    float* f_of(int copy) { return store_[copy].data() + copy * COPY_SHIFT; }
    const float* f_of(int copy) const { return store_[copy].data() + copy * COPY_SHIFT; }
    float* g_of(int copy) { return f_of(copy) + Q * stride_; }
    const float* g_of(int copy) const { return f_of(copy) + Q * stride_; }
    template <typename T>
    struct LineAligned {
        using value_type = T;
        LineAligned() = default;
        template <typename U>
        LineAligned(const LineAligned<U>&) {}
        T* allocate(std::size_t n) { return static_cast<T*>(::operator new(n * sizeof(T), std::align_val_t(64))); }
        void deallocate(T* p, std::size_t) { ::operator delete(p, std::align_val_t(64)); }
        bool operator==(const LineAligned&) const { return true; }
        bool operator!=(const LineAligned&) const { return false; }
    };
    std::vector<float, LineAligned<float>> store_[2];
    std::vector<std::uint8_t> solid_;
    std::vector<Link> links_;               // sorted by row, then column
    std::vector<std::size_t> row_links_;    // first link of each (plane, row); one past the last at the end
    int threads_ = int(std::max(1u, std::thread::hardware_concurrency()));
    int current_ = 0;                       // the copy the next step reads
    long long steps_ = 0;
};

}  // namespace fluid
