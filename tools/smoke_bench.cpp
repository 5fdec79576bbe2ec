// smoke-bench: the cost of the lattice's step, its passes, its construction and its report, beside
// the straightforward link-by-link step as a yardstick.
#include <benchmark/benchmark.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "field_output.h"
#include "lattice/lattice.h"
#include "reference_step.h"

namespace {

constexpr int WARM_UP_STEPS = 40;  // smoke and populations have reached the reported cells
constexpr int STEPS_PER_RUN = 80;  // then start over, before the figures run into inf and NaN

std::unique_ptr<Lattice> warm_world() {
    auto lattice = make_world();
    for (int i = 0; i < WARM_UP_STEPS; ++i) reference_step(*lattice);
    return lattice;
}

// Copies the model's state (not the wiring) of every cell of from into to.
void copy_state(const Lattice& from, Lattice& to) {
    for (std::size_t p = 0; p < from.planes.size(); ++p) {
        for (std::size_t i = 0; i < from.planes[p]->cells.size(); ++i) {
            const Cell& a = *from.planes[p]->cells[i];
            Cell& b = *to.planes[p]->cells[i];
            b.smoke = a.smoke;
            b.density = a.density;
            b.velocity = a.velocity;
            for (int j = 0; j < DIRECTION_COUNT; ++j) {
                b.links[j].population = a.links[j].population;
                b.links[j].equilibrium = a.links[j].equilibrium;
                b.links[j].post_collision = a.links[j].post_collision;
            }
        }
    }
}

void count_cell_updates(benchmark::State& state) {
    state.counters["MLUPS"] = benchmark::Counter(double(state.iterations()) * GRID_SIZE * GRID_SIZE * PLANE_COUNT / 1e6,
                                                 benchmark::Counter::kIsRate);
}

// Runs work once per iteration on a lattice that keeps stepping through the same stretch of its
// history, set back (untimed, with set_back) every STEPS_PER_RUN iterations.
template <typename Work, typename SetBack = void (*)()>
void run_steps(benchmark::State& state, Work work, SetBack set_back = [] {}) {
    const auto start = warm_world();
    auto lattice = warm_world();
    int steps = 0;
    for (auto _ : state) {
        work(*lattice);
        benchmark::ClobberMemory();
        if (++steps == STEPS_PER_RUN) {
            state.PauseTiming();
            copy_state(*start, *lattice);
            set_back();
            steps = 0;
            state.ResumeTiming();
        }
    }
    count_cell_updates(state);
}

void BM_Step(benchmark::State& state) {
    run_steps(state, [](Lattice& l) { l.advance(); });
}

void BM_ReferenceStep(benchmark::State& state) { run_steps(state, reference_step); }

void BM_Collide(benchmark::State& state) {
    // Collision alone leaves the state as it was, so it can repeat on one lattice.
    auto lattice = warm_world();
    for (auto _ : state) {
        lattice->collide();
        benchmark::ClobberMemory();
    }
    count_cell_updates(state);
}

void BM_Stream(benchmark::State& state) {
    // Streaming clears the post-collision values; restore them untimed from one collision.
    auto lattice = warm_world();
    auto collided = warm_world();
    collided->collide();
    for (auto _ : state) {
        lattice->stream();
        benchmark::ClobberMemory();
        state.PauseTiming();
        copy_state(*collided, *lattice);
        state.ResumeTiming();
    }
    count_cell_updates(state);
}

void BM_BuildAndSeed(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(make_world());
}

void BM_StepWithReport(benchmark::State& state) {
    std::FILE* sink = std::fopen("/dev/null", "w");
    run_steps(state, [sink](Lattice& l) {
        l.advance();
        l.report(sink);
    });
    std::fclose(sink);
}

// One step and its .vti file under a new name, as smoke-steps --vtk writes it; with_collection also
// lists it in the .pvd collection, as smoke-steps does. Every STEPS_PER_RUN steps the files go
// (untimed) and the series starts again.
void step_with_files(benchmark::State& state, bool with_collection) {
    std::string folder = (std::filesystem::temp_directory_path() / "smoke-bench.XXXXXX").string();
    if (!mkdtemp(folder.data())) {
        state.SkipWithError(("cannot make a temporary folder " + folder + ": " + std::strerror(errno)).c_str());
        return;
    }
    std::unique_ptr<VtkSeries> series;
    std::string error;
    long step = 0;
    const auto start = [&] {
        series.reset();  // its lock with it
        series = std::make_unique<VtkSeries>(folder, STEPS_PER_RUN);
        step = 0;
        if (!series->start("", error)) state.SkipWithError(error.c_str());
    };
    const auto write = [&](Lattice& l) {
        l.advance();
        ++step;
        const bool written = with_collection ? series->write(l, step, error)
                                             : series->write_file(std::to_string(step) + ".vti", vti_image(l, step), error);
        if (!written) state.SkipWithError(error.c_str());
    };
    start();
    run_steps(state, write, [&] {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directory(folder);
        start();
    });
    series.reset();
    std::filesystem::remove_all(folder);
}

void BM_StepWithVtkFile(benchmark::State& state) { step_with_files(state, false); }
void BM_StepWithVtkSeries(benchmark::State& state) { step_with_files(state, true); }

}  // namespace

BENCHMARK(BM_Step);
BENCHMARK(BM_ReferenceStep);
BENCHMARK(BM_Collide);
BENCHMARK(BM_Stream);
BENCHMARK(BM_BuildAndSeed);
BENCHMARK(BM_StepWithReport);
BENCHMARK(BM_StepWithVtkFile);
BENCHMARK(BM_StepWithVtkSeries);

BENCHMARK_MAIN();
