#include "lattice/cell.h"

#include <cassert>

namespace {

// Reads a per-class table for direction i; 0 for anything outside the velocity set.
float class_value(const std::array<float, CLASS_COUNT>& table, int i) {
    assert(is_direction(i));
    return is_direction(i) ? table[DIRECTION_CLASSES[i]] : 0.0f;
}

}  // namespace

int direction_index(int dx, int dy, int dz) {
    for (int i = 0; i < DIRECTION_COUNT; ++i) {
        const Offset& o = DIRECTION_OFFSETS[i];
        if (o.dx == dx && o.dy == dy && o.dz == dz) return i;
    }
    return -1;
}

int opposite_direction(int i) {
    assert(is_direction(i));
    return is_direction(i) ? OPPOSITE_DIRECTIONS[i] : -1;
}

float direction_length(int i) { return class_value(CLASS_LENGTH, i); }
float eq_weight(int i) { return class_value(CLASS_WEIGHT, i); }
float eq_linear(int i) { return class_value(CLASS_LINEAR, i); }
float eq_quadratic(int i) { return class_value(CLASS_QUADRATIC, i); }
float eq_square(int i) { return class_value(CLASS_SQUARE, i); }

Cell::Cell(float smoke, float lattice_speed) {
    links[0].neighbour = this;  // the rest link always counts as wired
    for (int i = 1; i < DIRECTION_COUNT; ++i) links[i].neighbour = nullptr;
    reset(smoke, lattice_speed);
}

void Cell::reset(float smoke, float lattice_speed) {
    // The rest link's speed is +0 whatever the lattice speed's sign; the others are as wiring sets them.
    links[0] = Link{links[0].neighbour, 0.0f, 0.0f, 0.0f, 0.0f};
    for (int i = 1; i < DIRECTION_COUNT; ++i) {
        links[i] = Link{links[i].neighbour, direction_length(i) * lattice_speed, 0.0f, 0.0f, 0.0f};
    }
    density = velocity = 0.0f;
    this->smoke = smoke;
    is_source = 0;
}

void Cell::connect(int dx, int dy, int dz, Cell* neighbour, float lattice_speed) {
    const int i = direction_index(dx, dy, dz);
    assert(i >= 0);
    if (i < 0) return;
    links[i].neighbour = neighbour;
    links[i].velocity = direction_length(i) * lattice_speed;
    links[i].population = 0.0f;
}
