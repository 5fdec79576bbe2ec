#include "fluid/setup.h"

#include <cmath>
#include <limits>

namespace fluid {

namespace {

std::string range(int count) { return count == 1 ? "0" : "0 to " + std::to_string(count - 1); }

constexpr double SPEED_LIMIT = 0.5;  // beyond it the second-order equilibrium goes unstable

bool finite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

}  // namespace

std::optional<std::string> size_problem(long long value) {
    constexpr int LARGEST = std::numeric_limits<int>::max();
    if (value < 1 || value > LARGEST) return "must be a whole number from 1 to " + std::to_string(LARGEST);
    return std::nullopt;
}

std::optional<std::string> tau_problem(double value) {
    if (!std::isfinite(value) || !(value > 0.5)) return "must be a finite number above 0.5";
    return std::nullopt;
}

std::optional<std::string> diffusivity_problem(double value) {
    if (!std::isfinite(value) || !(value > 0)) return "must be a finite number above 0";
    return std::nullopt;
}

std::optional<std::string> velocity_problem(const Vec3& v) {
    if (!finite(v)) return "must be finite";
    if (!(std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z) < SPEED_LIMIT)) return "must be below 0.5 in magnitude";
    return std::nullopt;
}

std::optional<std::string> amplitude_problem(double value) {
    if (!std::isfinite(value)) return "must be finite";
    if (!(std::fabs(value) < SPEED_LIMIT)) return "must be below 0.5 in magnitude";
    return std::nullopt;
}

std::optional<std::string> finite_problem(double value) {
    if (!std::isfinite(value)) return "must be finite";
    return std::nullopt;
}

std::optional<std::string> face_problem(const Setup& setup, Face face) {
    const Boundary& b = setup.face(face);
    const Boundary& o = setup.face(opposite_face(face));
    const std::string other = FACE_NAMES[int(opposite_face(face))];
    if ((b.kind == Kind::periodic) != (o.kind == Kind::periodic)) {
        return b.kind == Kind::periodic ? "must not be periodic when the " + other + " face is not"
                                        : "must be periodic when the " + other + " face is";
    }
    if (setup.planes == 1 && (face == Face::front || face == Face::back) && b.kind != Kind::periodic) {
        return "must be periodic in a world of one plane";
    }
    if (b.kind == Kind::inflow && !b.velocity) return "must have a velocity as an inflow";
    if (b.velocity) {
        if (b.kind != Kind::wall && b.kind != Kind::inflow) return "takes a velocity only as a wall or an inflow";
        if (auto problem = velocity_problem(*b.velocity)) return "velocity " + *problem;
    }
    return std::nullopt;
}

std::optional<std::string> disc_problem(const Setup& setup, const Disc& disc) {
    if (!std::isfinite(disc.x) || !std::isfinite(disc.y) || !std::isfinite(disc.radius)) return "must be finite";
    if (!(disc.radius > 0)) return "radius must be above 0";
    if (disc.x < 0 || disc.x > setup.columns - 1 || disc.y < 0 || disc.y > setup.rows - 1) {
        return "centre must lie in the world, columns " + range(setup.columns) + " and rows " + range(setup.rows);
    }
    return std::nullopt;
}

std::optional<std::string> box_problem(const Setup& setup, const Box& box) {
    if (box.x0 < 0 || box.x1 >= setup.columns || box.x0 > box.x1) {
        return "columns must be in order within " + range(setup.columns);
    }
    if (box.y0 < 0 || box.y1 >= setup.rows || box.y0 > box.y1) return "rows must be in order within " + range(setup.rows);
    return std::nullopt;
}

bool on_obstacle(const Setup& setup, int column, int row) {
    for (const Disc& d : setup.discs) {
        const double dx = column - d.x, dy = row - d.y;
        if (dx * dx + dy * dy <= d.radius * d.radius) return true;
    }
    for (const Box& b : setup.boxes) {
        if (column >= b.x0 && column <= b.x1 && row >= b.y0 && row <= b.y1) return true;
    }
    return false;
}

std::optional<std::string> source_problem(const Setup& setup, const Source& s) {
    if (s.column < 0 || s.column >= setup.columns) return "column must be " + range(setup.columns);
    if (s.row < 0 || s.row >= setup.rows) return "row must be " + range(setup.rows);
    if (s.plane < 0 || s.plane >= setup.planes) return "plane must be " + range(setup.planes);
    if (!std::isfinite(s.smoke)) return "smoke must be a finite number";
    if (on_obstacle(setup, s.column, s.row)) return "must not lie on an obstacle";
    return std::nullopt;
}

std::optional<std::string> report_row_problem(const Setup& setup, int row) {
    if (row < 0 || row >= setup.rows) return "must be a row of the world, " + range(setup.rows);
    return std::nullopt;
}

std::optional<std::string> setup_problem(const Setup& s) {
    auto named = [](const std::string& name, const std::optional<std::string>& problem) -> std::optional<std::string> {
        if (problem) return name + " " + *problem;
        return std::nullopt;
    };
    std::optional<std::string> p;
    if ((p = named("columns", size_problem(s.columns)))) return p;
    if ((p = named("rows", size_problem(s.rows)))) return p;
    if ((p = named("planes", size_problem(s.planes)))) return p;
    if ((p = named("tau", tau_problem(s.tau)))) return p;
    if ((p = named("diffusivity", diffusivity_problem(s.diffusivity)))) return p;
    for (int f = 0; f < FACE_COUNT; ++f) {
        if ((p = named(std::string(FACE_NAMES[f]) + " face", face_problem(s, Face(f))))) return p;
    }
    for (const Disc& d : s.discs) {
        if ((p = named("disc", disc_problem(s, d)))) return p;
    }
    for (const Box& b : s.boxes) {
        if ((p = named("box", box_problem(s, b)))) return p;
    }
    if ((p = named("force", finite_problem(s.force.x)))) return p;
    if ((p = named("force", finite_problem(s.force.y)))) return p;
    if ((p = named("force", finite_problem(s.force.z)))) return p;
    if ((p = named("buoyancy", finite_problem(s.buoyancy)))) return p;
    if ((p = named("flow", velocity_problem(s.flow)))) return p;
    if ((p = named("Taylor-Green amplitude", amplitude_problem(s.taylor_green)))) return p;
    for (const Source& src : s.sources) {
        if ((p = named("source", source_problem(s, src)))) return p;
    }
    for (const Source& puff : s.puffs) {
        if ((p = named("puff", source_problem(s, puff)))) return p;
    }
    if ((p = named("report row", report_row_problem(s, s.report_row)))) return p;
    return std::nullopt;
}

std::optional<std::uint64_t> cell_count(const Setup& setup) {
    std::uint64_t count = 1;
    for (const int n : {setup.columns, setup.rows, setup.planes}) {
        if (n < 1 || __builtin_mul_overflow(count, std::uint64_t(n), &count)) return std::nullopt;
    }
    return count;
}

std::uint64_t fluid_bytes(const Setup& setup) {
    const auto cells = cell_count(setup);
    std::uint64_t bytes;
    if (!cells || __builtin_mul_overflow(*cells, BYTES_PER_CELL, &bytes)) return std::numeric_limits<std::uint64_t>::max();
    return bytes;
}

}  // namespace fluid
