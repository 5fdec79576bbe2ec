#include "models/model.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "fluid/fluid.h"
#include "lattice/cell_fields.h"
#include "lattice/lattice.h"

fluid::Setup fluid_setup(const Scenario& scenario) {
    fluid::Setup setup = scenario.fluid;
    const World& w = scenario.world;
    setup.columns = w.columns;
    setup.rows = w.rows;
    setup.planes = w.planes;
    setup.tau = w.tau;
    setup.report_row = w.report_row;
    setup.sources.clear();
    for (const Source& s : w.sources) setup.sources.push_back({s.column, s.row, s.plane, s.smoke});
    return setup;
}

std::optional<std::uint64_t> model_bytes(const Scenario& scenario, std::uint64_t extra_per_cell) {
    if (scenario.model == ModelKind::demo) return world_bytes(scenario.world, extra_per_cell);
    const std::optional<std::uint64_t> cells = cell_count(scenario.world);
    std::uint64_t bytes, extra;
    if (!cells || __builtin_mul_overflow(*cells, fluid::BYTES_PER_CELL, &bytes) ||
        __builtin_mul_overflow(*cells, extra_per_cell, &extra) || __builtin_add_overflow(bytes, extra, &bytes)) {
        return std::nullopt;
    }
    return bytes;
}

CellMark demo_mark(const Cell& cell) {
    if (cell.smoke > 0) return CellMark::SMOKE;
    for (const Link& link : cell.links) {
        if (!link.neighbour) return CellMark::MARKER;
    }
    return CellMark::NONE;
}

namespace {

class DemoModel final : public Model {
public:
    explicit DemoModel(const Scenario& scenario) : scenario_(scenario), lattice_(make_world(scenario.world)) {}

    const Scenario& scenario() const override { return scenario_; }
    Extent extent() const override { return ::extent(*lattice_); }
    const Fields& fields() const override { return cell_fields(); }
    CellValues values() const override { return cell_values(*lattice_); }
    void advance() override { lattice_->advance(); }
    void report(std::FILE* out) const override { lattice_->report(out); }
    void reset() override { lattice_->reseed(scenario_.world); }
    void set_threads(int count) override { lattice_->set_threads(count); }
    float smoke(const Place& p) const override { return cell(p).smoke; }
    CellMark mark(const Place& p) const override { return demo_mark(cell(p)); }

    Lattice& lattice() const { return *lattice_; }

private:
    const Cell& cell(const Place& p) const { return *lattice_->cell(p.column, p.row, p.plane); }

    Scenario scenario_;
    std::unique_ptr<Lattice> lattice_;
};

Field solid_field() {
    Field solid = scalar_field("solid");
    solid.in_text = false;  // the panel and the probe say it otherwise; in ParaView it masks obstacles
    return solid;
}

// The fluid's cell for the outputs: smoke, density, the velocity vector, the populations; and for
// the .vti alone, whether it is solid.
const Fields& fluid_fields() {
    static const Fields fields({scalar_field("smoke"), scalar_field("density"), vector_field("velocity"),
                                populations_field(), solid_field()});
    return fields;
}

class FluidModel final : public Model {
public:
    explicit FluidModel(const Scenario& scenario)
        : scenario_(scenario), fluid_(std::make_unique<fluid::Fluid>(fluid_setup(scenario))) {}

    const Scenario& scenario() const override { return scenario_; }
    Extent extent() const override { return {fluid_->columns(), fluid_->rows(), fluid_->planes()}; }
    const Fields& fields() const override { return fluid_fields(); }
    CellValues values() const override {
        return [this](const Place& first, int count, float* values) {
            const fluid::Fluid& f = *fluid_;
            for (int i = 0; i < count; ++i) {
                const fluid::Fluid::Cell c = f.cell(first.column + i, first.row, first.plane);
                *values++ = c.smoke;
                *values++ = float(c.density);
                *values++ = float(c.velocity.x);
                *values++ = float(c.velocity.y);
                *values++ = float(c.velocity.z);
                for (const float population : c.populations) *values++ = population;
                *values++ = c.solid ? 1.0f : 0.0f;
            }
        };
    }
    void advance() override { fluid_->advance(); }
    void report(std::FILE* out) const override { fluid_->report(out); }
    void reset() override { fluid_->reset(); }
    void set_threads(int count) override { fluid_->set_threads(count); }
    float smoke(const Place& p) const override { return fluid_->smoke(p.column, p.row, p.plane); }
    CellMark mark(const Place& p) const override {
        if (fluid_->solid(p.column, p.row, p.plane)) return CellMark::SOLID;
        if (smoke(p) > 0) return CellMark::SMOKE;
        const Extent e = extent();
        const bool outside = p.column == 0 || p.row == 0 || p.plane == 0 || p.column == e.columns - 1 ||
                             p.row == e.rows - 1 || p.plane == e.planes - 1;
        return outside ? CellMark::MARKER : CellMark::NONE;
    }
    std::optional<float> speed(const Place& p) const override {
        const fluid::Vec3 u = fluid_->velocity(p.column, p.row, p.plane);
        return float(std::sqrt(u.x * u.x + u.y * u.y + u.z * u.z));
    }
    std::optional<double> given_speed() const override {
        const fluid::Setup& setup = fluid_->setup();
        const auto magnitude = [](const fluid::Vec3& u) { return std::sqrt(u.x * u.x + u.y * u.y + u.z * u.z); };
        double largest = std::max(magnitude(setup.flow), std::abs(setup.taylor_green));
        for (const fluid::Boundary& face : setup.faces) {
            if (face.velocity) largest = std::max(largest, magnitude(*face.velocity));
        }
        return largest;
    }
    std::optional<double> mass() const override { return fluid_->total_mass(); }
    bool puff(const Place& p, float amount) override {
        if (fluid_->solid(p.column, p.row, p.plane)) return false;
        fluid_->add_smoke(p.column, p.row, p.plane, amount);
        return true;
    }
    bool set_obstacle(const Place& p, bool solid) override {
        fluid_->set_solid(p.column, p.row, p.plane, solid);
        return true;
    }

    fluid::Fluid& fluid() { return *fluid_; }

private:
    Scenario scenario_;
    std::unique_ptr<fluid::Fluid> fluid_;
};

}  // namespace

const Fields& model_fields(ModelKind model) { return model == ModelKind::fluid ? fluid_fields() : cell_fields(); }

std::unique_ptr<Model> make_model(const Scenario& scenario) {
    if (scenario.model == ModelKind::fluid) return std::make_unique<FluidModel>(scenario);
    return std::make_unique<DemoModel>(scenario);
}

Lattice* demo_lattice(Model& model) {
    const auto* demo = dynamic_cast<const DemoModel*>(&model);
    return demo ? &demo->lattice() : nullptr;
}

const Lattice* demo_lattice(const Model& model) {
    const auto* demo = dynamic_cast<const DemoModel*>(&model);
    return demo ? &demo->lattice() : nullptr;
}
