// The simulation domain: planes of columns x rows wired cells, the smoke sources, and the step.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "lattice/cell.h"
#include "lattice/world.h"

class Plane {
public:
    // Builds the cells and wires their in-plane links; no edge wraps.
    Plane(int columns, int rows, float lattice_speed);
    // Wires cells made elsewhere, columns x rows of them row by row, in the same way.
    Plane(int columns, int rows, std::vector<std::unique_ptr<Cell>> cells, float lattice_speed);
    explicit Plane(float lattice_speed) : Plane(GRID_SIZE, GRID_SIZE, lattice_speed) {}

    bool contains(int x, int y) const { return x >= 0 && x < columns && y >= 0 && y < rows; }
    // Cell at column x, row y. Outside the plane: asserts in debug builds, null otherwise.
    Cell* cell(int x, int y) const;

    // Wire this plane's links that point to the previous (below) or next (above) plane into other.
    // Each plane wires only its own links.
    void connect_below(Plane* other, float lattice_speed);
    void connect_above(Plane* other, float lattice_speed);

    // Sets a cell's smoke and re-derives its link speeds; neighbours and populations are untouched.
    void set_cell_smoke(int x, int y, float smoke, float lattice_speed);

    int columns, rows;
    // Row by row: column x, row y is element y * columns + x. Each cell is its own heap object and
    // the vector is never resized, so the links' pointers stay valid for the plane's life.
    std::vector<std::unique_ptr<Cell>> cells;

private:
    // Connects every link with this dz whose target (x + dx, y - dy) lies inside target_plane.
    void wire(Plane* target_plane, int dz, float lattice_speed);
};

class Lattice {
public:
    // planes of columns x rows cells, each plane wired to the next.
    Lattice(int columns, int rows, int planes, float tau, float lattice_speed);
    Lattice(float tau, float lattice_speed) : Lattice(GRID_SIZE, GRID_SIZE, PLANE_COUNT, tau, lattice_speed) {}

    int columns() const { return planes[0]->columns; }
    int rows() const { return planes[0]->rows; }
    Cell* cell(int x, int y, int plane) const;  // null outside, as Plane::cell
    std::size_t cell_count() const { return planes.size() * planes[0]->cells.size(); }

    // Marks cell (x, y) of a plane as the source and seeds its populations (and the partner links
    // of its neighbours). A position or plane outside the lattice asserts in debug builds and is
    // ignored otherwise.
    void add_source(int x, int y, int plane, float smoke, float lattice_speed);

    // Back to the state make_world(world) builds, in place and without allocating: every cell as
    // constructed (populations, equilibria, post-collision values, density, velocity and smoke 0, no
    // source, link speeds from world.speed), the wiring kept, then world's sources seeded in order.
    // The world must have this lattice's columns, rows and planes.
    void reseed(const World& world);

    // One time step: advance(), then report() to standard output.
    //
    // Deliberately not textbook lattice Boltzmann, and every printed figure depends on it: the
    // collision relaxes toward an equilibrium of the scalar velocity (see Cell); streaming keeps
    // each post-collision value in its own link, adds it to the smoke of the cell the link leads to,
    // and raises the partner link there that points back where the value is larger, so populations
    // never move; and add_source seeds with the smoke standing in for the density.
    void step();
    // The step without its report: collide every cell, then stream every cell, each thread in one
    // sweep over its own rows (see lattice.cpp for why that gives the figures of the two passes
    // below, bit for bit, at any thread count).
    void advance();
    // The two halves of the step as passes of their own, for the benchmarks and the tests. stream()
    // is the step's definition: it pushes every cell's values out in memory order, on one thread.
    void collide();
    void stream();

    // Threads the step may use, at least 1; a new lattice has one for each processor. It uses fewer
    // where rows would be too few to pay for the threads' start and finish (see teams()).
    void set_threads(int count);
    int threads() const { return threads_; }
    // The threads advance() actually uses for this world: at most threads(), and no more than give
    // each one MIN_ROWS_PER_THREAD rows.
    int teams() const;

    // A line "Lattice %i: %f / %f" for each report column (smoke and population 4 of the cells of
    // report_row in plane 0), an empty line, then a flush so that a reader on a pipe sees each
    // report as its step ends.
    void report(std::FILE* out = stdout) const;

    std::vector<std::unique_ptr<Plane>> planes;  // index = position along z
    float tau;
    int report_row = REPORT_ROW;

private:
    // Where two threads' bands of rows meet in a step: each marks its edge row collided with the
    // step's number, and counts itself finished with the two edge rows.
    struct alignas(64) Meeting {
        std::atomic<std::uint64_t> lower_collided{0}, upper_collided{0}, finished{0};
    };
    int threads_ = 1;
    std::unique_ptr<Meeting[]> meetings_;  // one for each two neighbouring bands, threads_ of them
    std::uint64_t steps_ = 0;
};

// Fewer rows than this to a thread and the step's start and finish of its threads cost more than
// they save (measured in tools/smoke_bench.cpp).
constexpr int MIN_ROWS_PER_THREAD = 32;

// The world's lattice, built and seeded with its sources in order; by default the running system.
// The world must keep the rules of world.h.
std::unique_ptr<Lattice> make_world(const World& world = World());
