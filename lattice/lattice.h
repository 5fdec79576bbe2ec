// The simulation domain: planes of GRID_SIZE x GRID_SIZE wired cells, the smoke source, and the step.
#pragma once

#include <array>
#include <cstdio>
#include <memory>

#include "lattice/cell.h"

constexpr int GRID_SIZE = 50;
constexpr int PLANE_COUNT = 1;
constexpr int CELLS_PER_PLANE = GRID_SIZE * GRID_SIZE;

// The running system: relaxation time, lattice speed and its one smoke source.
constexpr float WORLD_TAU = 0.56f;
constexpr float WORLD_LATTICE_SPEED = 0.5f;
constexpr int SOURCE_X = 25;
constexpr int SOURCE_Y = 49;
constexpr int SOURCE_PLANE = 0;
constexpr float SOURCE_SMOKE = 0.42f;

// The report: the cells of columns 0..REPORT_COLUMNS-1 in row REPORT_ROW of plane 0, each with its
// smoke and its population toward the next column.
constexpr int REPORT_ROW = 9;
constexpr int REPORT_COLUMNS = 10;
constexpr int REPORT_DIRECTION = 4;

constexpr bool is_inside_grid(int x, int y) {
    return x >= 0 && x < GRID_SIZE && y >= 0 && y < GRID_SIZE;
}

class Plane {
public:
    // Builds the cells and wires their in-plane links; no edge wraps.
    explicit Plane(float lattice_speed);

    // Cell at column x, row y. Outside the grid: asserts in debug builds, null otherwise.
    Cell* cell(int x, int y) const;

    // Wire this plane's links that point to the previous (below) or next (above) plane into other.
    // Each plane wires only its own links.
    void connect_below(Plane* other, float lattice_speed);
    void connect_above(Plane* other, float lattice_speed);

    // Sets a cell's smoke and re-derives its link speeds; neighbours and populations are untouched.
    void set_cell_smoke(int x, int y, float smoke, float lattice_speed);

    // Row by row: column x, row y is element y * GRID_SIZE + x. Cells never move, so links stay valid.
    std::array<std::unique_ptr<Cell>, CELLS_PER_PLANE> cells;

private:
    // Connects every link with this dz whose target (x + dx, y - dy) lies inside target_plane.
    void wire(Plane* target_plane, int dz, float lattice_speed);
};

class Lattice {
public:
    Lattice(float tau, float lattice_speed);

    // Marks cell (x, y) of a plane as the source and seeds its populations (and the partner links
    // of its neighbours). A position or plane outside the lattice asserts in debug builds and is
    // ignored otherwise.
    void add_source(int x, int y, int plane, float smoke, float lattice_speed);

    // One time step: collide(), stream(), then report() to standard output.
    //
    // Deliberately not textbook lattice Boltzmann, and every printed figure depends on it: the
    // collision relaxes toward an equilibrium of the scalar velocity (see Cell); streaming keeps
    // each post-collision value in its own link, adds it to the smoke of the cell the link leads to,
    // and raises the partner link there that points back where the value is larger, so populations
    // never move; and add_source seeds with the smoke standing in for the density.
    void step();
    void collide();
    void stream();

    // Ten lines "Lattice %i: %f / %f" (smoke and population 4 of cells 0..9 of row 9), an empty
    // line, then a flush so that a reader on a pipe sees each report as its step ends.
    void report(std::FILE* out = stdout) const;

    // Draws the cube and the cells with OpenGL; defined by the viewer so that this library stays free
    // of graphics.
    void draw() const;

    std::array<std::unique_ptr<Plane>, PLANE_COUNT> planes;
    float tau;
};

// The running system's lattice: WORLD_TAU and WORLD_LATTICE_SPEED, seeded with its one source.
std::unique_ptr<Lattice> make_world();
