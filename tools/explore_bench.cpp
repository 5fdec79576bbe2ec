// What explore mode adds to the viewer's work, on the biggest sheet it is meant for (512 x 512):
// a pick, once per click, and the survey of the cells, once per step; for the fluid, through the
// models' interface.
#include <benchmark/benchmark.h>

#include "lattice/survey.h"
#include "models/model.h"
#include "viewer/picking.h"
#include "viewer/placement.h"

namespace {

constexpr int SIDE = 512;

// Every cell of a single sheet draws a point (each lacks the neighbours of the planes beside it).
void BM_Pick(benchmark::State& state) {
    World world;
    world.columns = world.rows = SIDE;
    const auto lattice = make_world(world);
    const View view = initial_view(SIDE, SIDE, 1);
    for (auto _ : state) benchmark::DoNotOptimize(pick(*lattice, view, FIRST_WIDTH, FIRST_HEIGHT, 400, 300));
    state.counters["points/s"] = benchmark::Counter(double(SIDE) * SIDE, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Pick)->Unit(benchmark::kMillisecond);

// The fluid's sheet through the models' interface: a virtual call per cell near the pointer.
void BM_PickFluid(benchmark::State& state) {
    Scenario scenario;
    scenario.model = ModelKind::fluid;
    scenario.world.columns = scenario.world.rows = SIDE;
    const auto model = make_model(scenario);
    const View view = initial_view(SIDE, SIDE, 1);
    for (auto _ : state) benchmark::DoNotOptimize(pick(*model, view, FIRST_WIDTH, FIRST_HEIGHT, 400, 300));
    state.counters["points/s"] = benchmark::Counter(double(SIDE) * SIDE, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_PickFluid)->Unit(benchmark::kMillisecond);

void BM_SurveyFluid(benchmark::State& state) {
    Scenario scenario;
    scenario.model = ModelKind::fluid;
    scenario.world.columns = scenario.world.rows = SIDE;
    const auto model = make_model(scenario);
    for (auto _ : state) benchmark::DoNotOptimize(survey(model->fields(), model->extent(), model->values()));
    state.counters["cells/s"] = benchmark::Counter(double(SIDE) * SIDE, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_SurveyFluid)->Unit(benchmark::kMillisecond);

void BM_Survey(benchmark::State& state) {
    World world;
    world.columns = world.rows = SIDE;
    const auto lattice = make_world(world);
    for (auto _ : state) benchmark::DoNotOptimize(survey(*lattice));
    state.counters["cells/s"] = benchmark::Counter(double(SIDE) * SIDE, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Survey)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
