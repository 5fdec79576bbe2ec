// What a run of the model is made of: the lattice's size, its relaxation time and lattice speed, the
// smoke sources seeded into it and the row its report reads. The defaults are the running system.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

constexpr int GRID_SIZE = 50;
constexpr int PLANE_COUNT = 1;

// The running system: relaxation time, lattice speed and its one smoke source.
constexpr float WORLD_TAU = 0.56f;
constexpr float WORLD_LATTICE_SPEED = 0.5f;
constexpr int SOURCE_X = 25;
constexpr int SOURCE_Y = 49;
constexpr int SOURCE_PLANE = 0;
constexpr float SOURCE_SMOKE = 0.42f;

// The report: the cells of columns 0..REPORT_COLUMNS-1 (fewer in a narrower world) in one row of
// plane 0, each with its smoke and its population toward the next column.
constexpr int REPORT_ROW = 9;
constexpr int REPORT_COLUMNS = 10;
constexpr int REPORT_DIRECTION = 4;

struct Source {
    int column, row, plane;
    float smoke;
};

// A cell's position.
struct Place {
    int column, row, plane;
};

struct World {
    int columns = GRID_SIZE;
    int rows = GRID_SIZE;
    int planes = PLANE_COUNT;
    float tau = WORLD_TAU;
    float speed = WORLD_LATTICE_SPEED;
    std::vector<Source> sources = {{SOURCE_X, SOURCE_Y, SOURCE_PLANE, SOURCE_SMOKE}};  // seeded in this order
    int report_row = REPORT_ROW;
};

// The rules a world must keep to be built; each answers what is wrong, or nothing. Messages are
// lower-case phrases that a caller puts after the name of the setting ("must be ...").
std::optional<std::string> size_problem(long long value);        // columns, rows, planes
std::optional<std::string> tau_problem(double value);
std::optional<std::string> speed_problem(double value);
std::optional<std::string> smoke_problem(double value);
std::optional<std::string> index_problem(int index, int count);  // must be 0 to count - 1
std::optional<std::string> place_problem(const World& world, const Place& place);
std::optional<std::string> report_row_problem(const World& world, int row);
// A setting held as an int (a source's place, the report row) must fit in one.
std::optional<std::string> whole_number_problem(long long value);

// "COLUMNS x ROWS x PLANES", as messages name a world.
std::string size_text(const World& world);

// Cells of the world, or nothing when the count does not fit in 64 bits.
std::optional<std::uint64_t> cell_count(const World& world);

// Bytes a lattice of that many cells takes: each cell, its pointer in its plane, and the heap's
// bookkeeping for it; the largest 64-bit count when that does not fit.
std::uint64_t lattice_bytes(std::uint64_t cells);

// Bytes a run of the world takes: its lattice and extra_per_cell more for each cell; nothing when
// that does not fit in 64 bits.
std::optional<std::uint64_t> world_bytes(const World& world, std::uint64_t extra_per_cell);
