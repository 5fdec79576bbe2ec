// The D3Q19 velocity set and the lattice node that carries one link per direction.
//
// Deliberately not textbook: a cell's velocity is a scalar, the sum of population times link speed
// (|c_i| times the lattice speed) over the density, and the equilibrium uses |c_i| * u where the
// textbook has c_i . u. Every printed figure depends on this; "fixing" it changes them all.
#pragma once

#include <array>
#include <cstdint>

constexpr int DIRECTION_COUNT = 19;

// Directions are numbered 0..18; -1 stands for "no direction". Direction (dx, dy, dz) leads from
// cell (x, y, plane) to (x + dx, y - dy, plane + dz).
struct Offset {
    int dx, dy, dz;
};

enum DirectionClass : std::uint8_t { REST = 0, AXIS = 1, DIAGONAL = 2 };
constexpr int CLASS_COUNT = 3;

// The velocity set as data, indexed by direction number.
constexpr std::array<Offset, DIRECTION_COUNT> DIRECTION_OFFSETS = {{
    {0, 0, 0},                                                       // 0: rest
    {0, 0, -1}, {-1, 0, 0}, {0, 1, 0}, {1, 0, 0}, {0, -1, 0},        // 1-5: axis
    {0, 0, 1},                                                       // 6: axis
    {-1, 0, -1}, {0, 1, -1}, {1, 0, -1}, {0, -1, -1},                // 7-10: diagonal, previous plane
    {-1, -1, 0}, {-1, 1, 0}, {1, 1, 0}, {1, -1, 0},                  // 11-14: diagonal, same plane
    {-1, 0, 1}, {0, 1, 1}, {1, 0, 1}, {0, -1, 1},                    // 15-18: diagonal, next plane
}};

// Reverses the in-plane components and keeps dz, so a pair always lies on one side of the plane.
constexpr std::array<int, DIRECTION_COUNT> OPPOSITE_DIRECTIONS = {
    0, 1, 4, 5, 2, 3, 6, 9, 10, 7, 8, 13, 14, 11, 12, 17, 18, 15, 16};

constexpr std::array<DirectionClass, DIRECTION_COUNT> DIRECTION_CLASSES = {
    REST, AXIS, AXIS, AXIS, AXIS, AXIS, AXIS, DIAGONAL, DIAGONAL, DIAGONAL,
    DIAGONAL, DIAGONAL, DIAGONAL, DIAGONAL, DIAGONAL, DIAGONAL, DIAGONAL, DIAGONAL, DIAGONAL};

// Per-class coefficients of the equilibrium rho * (weight + linear*s + quadratic*s^2 + square*u^2),
// which is the D3Q19 form w*rho*(1 + 3s + 4.5s^2 - 1.5u^2). Each is the float nearest the exact value.
constexpr std::array<float, CLASS_COUNT> CLASS_LENGTH = {0.0f, 1.0f, 1.41421356237f};
constexpr std::array<float, CLASS_COUNT> CLASS_WEIGHT = {1.0f / 3, 1.0f / 18, 1.0f / 36};
constexpr std::array<float, CLASS_COUNT> CLASS_LINEAR = {0.0f, 1.0f / 6, 1.0f / 12};
constexpr std::array<float, CLASS_COUNT> CLASS_QUADRATIC = {0.0f, 1.0f / 4, 1.0f / 8};
constexpr std::array<float, CLASS_COUNT> CLASS_SQUARE = {-1.0f / 2, -1.0f / 12, -1.0f / 24};

constexpr bool is_direction(int i) { return i >= 0 && i < DIRECTION_COUNT; }

// The tables agree with each other, checked where they are written down.
namespace velocity_set_checks {

constexpr int moving_components(const Offset& o) { return (o.dx != 0) + (o.dy != 0) + (o.dz != 0); }

// The opposite reverses the in-plane components, keeps dz and the class, and is its own inverse;
// each direction's class is the number of its moving components.
constexpr bool directions_agree() {
    for (int i = 0; i < DIRECTION_COUNT; ++i) {
        const Offset o = DIRECTION_OFFSETS[i], p = DIRECTION_OFFSETS[OPPOSITE_DIRECTIONS[i]];
        if (p.dx != -o.dx || p.dy != -o.dy || p.dz != o.dz) return false;
        if (OPPOSITE_DIRECTIONS[OPPOSITE_DIRECTIONS[i]] != i) return false;
        if (DIRECTION_CLASSES[i] != moving_components(o)) return false;
        for (int j = 0; j < i; ++j) {
            const Offset q = DIRECTION_OFFSETS[j];
            if (q.dx == o.dx && q.dy == o.dy && q.dz == o.dz) return false;
        }
    }
    return true;
}

// The coefficients of w(1 + 3s + 4.5s^2 - 1.5u^2), each the float nearest its exact value; the rest
// direction has no linear or quadratic term. The weights sum to 1.
constexpr double EXACT_WEIGHT[CLASS_COUNT] = {1.0 / 3, 1.0 / 18, 1.0 / 36};
constexpr bool coefficients_agree() {
    double sum = 0;
    for (int c = 0; c < CLASS_COUNT; ++c) {
        const double w = EXACT_WEIGHT[c];
        if (CLASS_WEIGHT[c] != float(w) || CLASS_SQUARE[c] != float(-1.5 * w)) return false;
        if (CLASS_LINEAR[c] != float(c == REST ? 0 : 3 * w) || CLASS_QUADRATIC[c] != float(c == REST ? 0 : 4.5 * w)) {
            return false;
        }
    }
    for (int i = 0; i < DIRECTION_COUNT; ++i) sum += EXACT_WEIGHT[DIRECTION_CLASSES[i]];
    return sum > 1 - 1e-12 && sum < 1 + 1e-12 && CLASS_LENGTH[REST] == 0 && CLASS_LENGTH[AXIS] == 1 &&
           CLASS_LENGTH[DIAGONAL] == float(1.4142135623730951);
}

static_assert(directions_agree());
static_assert(coefficients_agree());

}  // namespace velocity_set_checks

// The lookups below are total: outside 0..18 they assert in debug builds and otherwise answer -1
// (for directions) or 0 (for lengths and coefficients), so no caller can read past a table.
int direction_index(int dx, int dy, int dz);
int opposite_direction(int i);
float direction_length(int i);
float eq_weight(int i);
float eq_linear(int i);
float eq_quadratic(int i);
float eq_square(int i);

class Cell;

// One slot of a cell for one direction.
struct Link {
    Cell* neighbour;       // the cell in this direction, null when unwired; not owned
    float velocity;        // direction_length * lattice speed
    float population;      // f_i
    float equilibrium;     // f_i^eq of the last collision
    float post_collision;  // waiting to be streamed; 0 between steps
};

class Cell {
public:
    Cell(float smoke, float lattice_speed);

    // Back to the state the constructor leaves, with this smoke, keeping the links' neighbours.
    void reset(float smoke, float lattice_speed);

    // Wires the link of offset (dx, dy, dz) and clears its population. An offset outside the
    // velocity set asserts in debug builds and is ignored otherwise.
    void connect(int dx, int dy, int dz, Cell* neighbour, float lattice_speed);

    // Sum of the wired links' populations; the rest link always counts.
    float sum_density() const {
        float sum = 0.0f;
        for (const Link& link : links) {
            if (link.neighbour) sum += link.population;
        }
        return sum;
    }

    // Momentum over density, 0 for a density of exactly 0. Each product is exact in double; the
    // running sum is rounded to float once per link.
    float sum_velocity(float density) const {
        float sum = 0.0f;
        for (const Link& link : links) {
            if (link.neighbour) sum = static_cast<float>(sum + double(link.population) * double(link.velocity));
        }
        if (density == 0.0f) return 0.0f;
        return static_cast<float>((1.0 / double(density)) * double(sum));
    }

    void set_smoke(float value) { smoke = value; }
    void set_source(std::uint8_t flag) { is_source = flag; }

    std::array<Link, DIRECTION_COUNT> links;
    float density;
    float velocity;
    float smoke;  // read directly; C++ allows no accessor of the same name
    std::uint8_t is_source;
};
