// What a run of the textbook fluid is made of: the box and its faces, relaxation, smoke, obstacles,
// forces and the initial flow; and the rules a setup must keep before a Fluid is built from it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fluid {

struct Vec3 {
    double x = 0, y = 0, z = 0;  // along increasing column, row, plane
};

// The faces of the box, named for where they lie: left is column 0, bottom row 0, front plane 0.
enum class Face { left, right, bottom, top, front, back };
constexpr int FACE_COUNT = 6;
constexpr std::array<const char*, FACE_COUNT> FACE_NAMES = {"left", "right", "bottom", "top", "front", "back"};

enum class Kind { periodic, wall, inflow, outflow };
constexpr int KIND_COUNT = 4;
constexpr std::array<const char*, KIND_COUNT> KIND_NAMES = {"periodic", "wall", "inflow", "outflow"};

constexpr Face opposite_face(Face f) { return Face(int(f) ^ 1); }

struct Boundary {
    Kind kind = Kind::periodic;
    // A wall's own velocity (a moving lid; none is at rest), or the velocity an inflow brings in.
    std::optional<Vec3> velocity;
};

// Obstacles reach through every plane.
struct Disc {
    double x, y, radius;  // every cell whose centre lies within radius of (x, y)
};
struct Box {
    int x0, y0, x1, y1;  // columns x0..x1 and rows y0..y1, inclusive
};

struct Source {
    int column, row, plane;
    float smoke;
};

struct Setup {
    int columns = 50, rows = 50, planes = 1;
    double tau = 0.6;            // viscosity (tau - 1/2) / 3
    double diffusivity = 0.02;   // the smoke's
    std::array<Boundary, FACE_COUNT> faces{};  // indexed by Face
    std::vector<Disc> discs;
    std::vector<Box> boxes;
    Vec3 force;                  // uniform body force per cell
    double buoyancy = 0;         // each cell pushed toward increasing rows by buoyancy * its smoke
    Vec3 flow;                   // initial uniform velocity
    double taylor_green = 0;     // initial Taylor-Green vortex amplitude, added to the flow
    std::vector<Source> sources; // smoke added every step
    std::vector<Source> puffs;   // smoke put in once, before the first step
    int report_row = 9;

    Boundary& face(Face f) { return faces[int(f)]; }
    const Boundary& face(Face f) const { return faces[int(f)]; }
};

// The rules; each answers what is wrong, or nothing. Messages are lower-case phrases that a caller
// puts after the setting's name ("must be ...").
std::optional<std::string> size_problem(long long value);  // columns, rows, planes
std::optional<std::string> tau_problem(double value);
std::optional<std::string> diffusivity_problem(double value);
std::optional<std::string> velocity_problem(const Vec3& velocity);  // flow, walls, inflow
std::optional<std::string> amplitude_problem(double value);         // Taylor-Green
std::optional<std::string> finite_problem(double value);            // force components, buoyancy
// A face's kind against its opposite's, an inflow's velocity, a moving wall's speed, and a world of
// one plane, which is periodic along the planes.
std::optional<std::string> face_problem(const Setup& setup, Face face);
std::optional<std::string> disc_problem(const Setup& setup, const Disc& disc);
std::optional<std::string> box_problem(const Setup& setup, const Box& box);
// Inside the world, finite smoke, and not on an obstacle.
std::optional<std::string> source_problem(const Setup& setup, const Source& source);
std::optional<std::string> report_row_problem(const Setup& setup, int row);

// Every rule in turn; the first problem, prefixed with the name of the setting
// ("tau must be above 0.5", "top face must ...").
std::optional<std::string> setup_problem(const Setup& setup);

// Whether a cell (column, row) is inside one of the setup's obstacles.
bool on_obstacle(const Setup& setup, int column, int row);

// Bytes a cell takes: two copies of its 19 fluid and 7 smoke populations in 32-bit floats, and its
// solid flag. Walls add a few bytes per boundary link on top, and each direction's array is padded
// to a multiple of 4 KB and a line (at most about 220 KB in all).
constexpr std::uint64_t BYTES_PER_CELL = 2 * 19 * 4 + 2 * 7 * 4 + 1;
// Cells of the world, or nothing when the count does not fit in 64 bits.
std::optional<std::uint64_t> cell_count(const Setup& setup);
// Bytes the whole fluid takes, for a memory check before allocating; the largest 64-bit count when
// that does not fit.
std::uint64_t fluid_bytes(const Setup& setup);

}  // namespace fluid
