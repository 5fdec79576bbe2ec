// What the programs ask of a model, whichever it is: its cells' fields for every output, a step,
// the ten-line report, a reset, and what the viewer draws for a cell. One adapter for each model's
// room; the rooms themselves know nothing of this.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>

#include "lattice/fields.h"
#include "models/scenario.h"

// The point a cell draws: green for smoke above 0 (zero, negative and NaN smoke draw none), else grey
// for an obstacle, else a small blue marker for a cell on the world's outside (in the demonstration, a
// cell that lacks a neighbour), else none. The drawing and the picking both ask this.
enum class CellMark { NONE, SMOKE, MARKER, SOLID };

class Cell;
class Lattice;
// The demonstration's rule for one of its cells, for callers that hold a bare lattice.
CellMark demo_mark(const Cell& cell);

class Model {
public:
    virtual ~Model() = default;

    virtual const Scenario& scenario() const = 0;
    virtual Extent extent() const = 0;
    virtual const Fields& fields() const = 0;
    // Reads this model's cells in fields() order; the model must outlive it.
    virtual CellValues values() const = 0;

    virtual void advance() = 0;
    // Ten lines "Lattice %i: %f / %f" (the smoke and f4 of the report row's first columns in plane 0),
    // an empty line, then a flush.
    virtual void report(std::FILE* out) const = 0;
    // Back to the scenario's state at step 0, in place.
    virtual void reset() = 0;
    // The worker threads a step may use, at least 1; the figures are the same at any count.
    virtual void set_threads(int count) = 0;

    virtual float smoke(const Place& place) const = 0;
    virtual CellMark mark(const Place& place) const = 0;

    // A model with a flow answers these; the demonstration has none, and says nothing.
    // The flow's speed |u| at a cell (0 in an obstacle).
    virtual std::optional<float> speed(const Place&) const { return std::nullopt; }
    // The largest speed the scenario gives the flow (its initial flow, a moving wall, an inflow, a
    // Taylor-Green amplitude); 0 when it gives none.
    virtual std::optional<double> given_speed() const { return std::nullopt; }
    // The mass of the fluid cells, the sum of their densities.
    virtual std::optional<double> mass() const { return std::nullopt; }

    // Hands on the cells, each taking effect before the next step; false when the model refuses,
    // changing nothing. Smoke added to a cell at once (none to an obstacle):
    virtual bool puff(const Place&, float) { return false; }
    // A cell made an obstacle, dropping what it held; or fluid again, at rest with density 1.
    virtual bool set_obstacle(const Place&, bool) { return false; }
};

// The fields of a model's cells, as its Model answers them.
const Fields& model_fields(ModelKind model);

// The scenario's model, built and seeded; the scenario must keep its model's rules. std::bad_alloc
// when memory runs out.
std::unique_ptr<Model> make_model(const Scenario& scenario);

// The demonstration's lattice inside a model made for it, for the callers that reach into its cells;
// nothing for another model.
Lattice* demo_lattice(Model& model);
const Lattice* demo_lattice(const Model& model);
