// smoke-bench: the cost of the lattice's step in a world that fits in the caches and in two that do
// not, beside the straightforward link-by-link step as a yardstick and the machine's memory
// bandwidth, which bounds the step once the world outgrows the caches; and the cost of the step's
// passes, of building a world and of the step's output.
#include <benchmark/benchmark.h>
#include <sys/mman.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "vtk_series.h"
#include "vtk_xml.h"
#include "fluid/fluid.h"
#include "lattice/lattice.h"
#include "reference_step.h"
#include "tools/random_state.h"

namespace {

// A lattice's size.
struct Shape {
    int columns, rows, planes;

    double cells() const { return double(columns) * rows * planes; }
    std::string name() const {
        const std::string sheet = std::to_string(columns) + "x" + std::to_string(rows);
        return planes == 1 ? sheet : sheet + "x" + std::to_string(planes);
    }
};

// The running system's world, which fits in the caches, and a sheet of 262,144 cells, far larger
// than them; a block of three planes, also larger, and one of the running system's size, whose
// cells have the block's wired links (nineteen in a middle plane, not nine) and fit in the caches.
constexpr Shape RUNNING_SYSTEM = {GRID_SIZE, GRID_SIZE, PLANE_COUNT};
constexpr Shape SHAPES[] = {RUNNING_SYSTEM, {512, 512, 1}, {128, 128, 3}, {GRID_SIZE, GRID_SIZE, 3}};

// The bandwidth sweep's buffer, far larger than any cache (the virtual machine reports a 508 MB one).
constexpr std::size_t SWEEP_BYTES = std::size_t(1) << 30;

// A step reads every byte of a cell's memory and writes it back: the least it must move.
double bytes_per_cell_update() { return 2.0 * double(lattice_bytes(1)); }

// The benchmarks' rates divide by the thread's CPU time; the sweep is timed the same way.
double cpu_seconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

// A step on several threads is timed by the wall clock: the calling thread's CPU time leaves out the
// others' work, and counts none of the waiting at their barriers.
double wall_seconds() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

// The threads a step runs on and the clock that times it.
struct Threads {
    int count = 1;
    double seconds() const { return count == 1 ? cpu_seconds() : wall_seconds(); }
};

// Reads a buffer far larger than the caches and writes it back, word by word: the traffic of a step
// in a world that outgrows the caches, at the machine's own rate. (A copy into a second buffer would
// read each line of the copy before writing it: half as much traffic again as it counts.)
class MemorySweep {
public:
    MemorySweep() = default;
    MemorySweep(const MemorySweep&) = delete;
    MemorySweep& operator=(const MemorySweep&) = delete;
    ~MemorySweep() {
        if (words) munmap(words, SWEEP_BYTES);
    }

    // Maps and fills the buffer the first time (untimed), so that a run without a sweep skips it;
    // false when it cannot be mapped.
    bool ready() {
        if (words) return true;
        void* p = mmap(nullptr, SWEEP_BYTES, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) return false;
        // Huge pages where the system allows them: filling a gigabyte page by page takes seconds on a
        // virtual machine, and the tests run the benchmarks once each.
        madvise(p, SWEEP_BYTES, MADV_HUGEPAGE);
        words = static_cast<std::uint64_t*>(p);
        run();
        return true;
    }
    double bytes() const { return 2.0 * double(SWEEP_BYTES); }
    void run() { run_part(&MemorySweep::sweep_part, 0, 1); }
    // Bytes per second of one sweep; on more than one thread shared out among them, each its own
    // contiguous part, by the clock on the wall: what the machine's memory gives a step that runs on
    // as many threads.
    double bandwidth(int threads = 1) { return timed(&MemorySweep::sweep_part, threads) * bytes(); }
    // The same for a copy of the buffer's first half into its second, counted as the bytes read and
    // written: the copy bandwidth, as the field quotes it. Each store also reads its line first, as
    // a step's stores into its other copy do, so a copy moves half as much again as it counts.
    double copy_bandwidth(int threads = 1) { return timed(&MemorySweep::copy_part, threads) * double(SWEEP_BYTES); }

private:
    using Part = void (MemorySweep::*)(std::size_t, std::size_t);
    static constexpr std::size_t HALF = SWEEP_BYTES / sizeof(std::uint64_t) / 2;  // words

    // Passes a second: one thread by its CPU time, more by the wall clock.
    double timed(Part part, int threads) {
        const Threads clock{threads};
        const double start = clock.seconds();
        std::vector<std::thread> others;
        for (int t = 1; t < threads; ++t) others.emplace_back([this, part, t, threads] { run_part(part, t, threads); });
        run_part(part, 0, threads);
        for (std::thread& other : others) other.join();
        return 1 / (clock.seconds() - start);
    }
    // Part `part` of `parts` of a pass: words [begin, end) of the first half, and what goes with them.
    void run_part(Part pass, int part, int parts) {
        (this->*pass)(HALF * std::size_t(part) / std::size_t(parts), HALF * std::size_t(part + 1) / std::size_t(parts));
        benchmark::ClobberMemory();
    }
    // The whole buffer, twice the words of the half's share.
    void sweep_part(std::size_t begin, std::size_t end) {
        for (std::size_t i = 2 * begin; i < 2 * end; ++i) words[i] += 1;
    }
    // Plus one: a plain copy loop becomes the C library's memcpy, which streams its stores past the
    // cache, a traffic that no step has.
    void copy_part(std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) words[HALF + i] = words[i] + 1;
    }

    std::uint64_t* words = nullptr;
};

constexpr const char* NO_SWEEP = "cannot map the memory sweep's buffer";

// Steps before a lattice starts over (untimed): a random state's figures grow by about a factor of
// 5 a step in a block of planes, and would overflow to inf after about 50.
constexpr int STEPS_PER_RUN = 20;

std::unique_ptr<Lattice> random_world(Shape shape, Threads threads = {}) {
    auto lattice = std::make_unique<Lattice>(shape.columns, shape.rows, shape.planes, WORLD_TAU, WORLD_LATTICE_SPEED);
    lattice->set_threads(threads.count);
    randomise(*lattice);
    return lattice;
}

// Cell updates a second (MLUPS) and the time per cell update.
void count_cell_updates(benchmark::State& state, Shape shape) {
    const double updates = double(state.iterations()) * shape.cells();
    state.counters["MLUPS"] = benchmark::Counter(updates / 1e6, benchmark::Counter::kIsRate);
    state.counters["per_cell"] = benchmark::Counter(updates, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Runs work once per iteration on a lattice of the shape that keeps stepping through the same
// stretch of its history, set back (untimed, with set_back) every STEPS_PER_RUN iterations. Answers
// the time of the timed part, by the threads' clock. Each run builds its world afresh, so that
// repetitions show how much the cost varies from one build of the world to the next.
template <typename Work, typename SetBack = void (*)()>
double run_steps(benchmark::State& state, Shape shape, Work work, SetBack set_back = [] {}, Threads threads = {}) {
    const auto lattice = random_world(shape, threads);
    int steps = 0;
    const auto clock = [threads] { return threads.seconds(); };
    double timed = 0, start = clock();
    for (auto _ : state) {
        work(*lattice);
        benchmark::ClobberMemory();
        if (++steps == STEPS_PER_RUN) {
            state.PauseTiming();
            timed += clock() - start;
            randomise(*lattice);
            set_back();
            steps = 0;
            start = clock();
            state.ResumeTiming();
        }
    }
    timed += clock() - start;
    count_cell_updates(state, shape);
    return timed;
}

// A step benchmark that also gives the bound the memory sets on its speed and the share of it that
// the step reaches, from a sweep right after the timed steps: the machine's speed drifts, so the two
// are measured together, with the same clock.
template <typename Work>
void run_bounded_steps(benchmark::State& state, Shape shape, MemorySweep& sweep, Work work, Threads threads = {}) {
    const double seconds = run_steps(state, shape, work, [] {}, threads);
    if (!sweep.ready()) return state.SkipWithError(NO_SWEEP);
    const double bound = sweep.bandwidth() / bytes_per_cell_update();  // cell updates a second
    state.counters["bound_MLUPS"] = bound / 1e6;
    state.counters["of_bound"] = double(state.iterations()) * shape.cells() / seconds / bound;
}

// The fluid's step from a Taylor-Green start, against its own bound: each cell update reads and
// writes its 19 fluid and 7 smoke populations once, 208 bytes (the solid flag's byte aside).
constexpr double FLUID_BYTES_PER_CELL_UPDATE = 2 * (19 + 7) * 4;

// All the machine's hardware threads.
int all_threads() { return int(std::max(1u, std::thread::hardware_concurrency())); }

// On one thread the rates divide by that thread's CPU time, and the bound by a copy's on the same
// thread. On more, by the time on the wall (the benchmark is registered with UseRealTime), and the
// bound is a copy's on as many threads: one core alone may not draw all the memory's bandwidth.
// The step, like a copy, writes into memory other than what it reads; of_in_place is its share of
// what a scheme that updates in place could reach, a sweep's bandwidth over the same bytes.
void BM_FluidStep(benchmark::State& state, Shape shape, MemorySweep& sweep, int threads) {
    fluid::Setup setup;
    setup.columns = shape.columns;
    setup.rows = shape.rows;
    setup.planes = shape.planes;
    setup.taylor_green = 0.05;
    setup.puffs.push_back({shape.columns / 2, shape.rows / 2, 0, 1.0f});
    fluid::Fluid fluid(setup);
    fluid.set_threads(threads);
    const Threads clock{threads};
    const double start = clock.seconds();
    for (auto _ : state) {
        fluid.advance();
        benchmark::ClobberMemory();
    }
    const double seconds = clock.seconds() - start;
    count_cell_updates(state, shape);
    if (!sweep.ready()) return state.SkipWithError(NO_SWEEP);
    const double rate = double(state.iterations()) * shape.cells() / seconds;
    const double bound = sweep.copy_bandwidth(threads) / FLUID_BYTES_PER_CELL_UPDATE;
    const double in_place = sweep.bandwidth(threads) / FLUID_BYTES_PER_CELL_UPDATE;
    state.counters["threads"] = threads;
    state.counters["bound_MLUPS"] = bound / 1e6;
    state.counters["of_bound"] = rate / bound;
    state.counters["of_in_place"] = rate / in_place;
}

void BM_MemorySweep(benchmark::State& state, MemorySweep& sweep) {
    if (!sweep.ready()) return state.SkipWithError(NO_SWEEP);
    const double start = cpu_seconds();
    for (auto _ : state) sweep.run();
    const double bandwidth = double(state.iterations()) * sweep.bytes() / (cpu_seconds() - start);
    state.SetBytesProcessed(std::int64_t(double(state.iterations()) * sweep.bytes()));
    state.counters["bound_MLUPS"] = bandwidth / bytes_per_cell_update() / 1e6;
}

// The copy bandwidth, and the fluid's bound on one thread that it gives.
void BM_MemoryCopy(benchmark::State& state, MemorySweep& sweep) {
    if (!sweep.ready()) return state.SkipWithError(NO_SWEEP);
    const double start = cpu_seconds();
    for (auto _ : state) sweep.copy_bandwidth();
    const double bytes = double(state.iterations()) * double(SWEEP_BYTES);
    state.SetBytesProcessed(std::int64_t(bytes));
    state.counters["fluid_bound_MLUPS"] = bytes / (cpu_seconds() - start) / FLUID_BYTES_PER_CELL_UPDATE / 1e6;
}

// The step on one thread, by its CPU time.
void BM_Step(benchmark::State& state, Shape shape, MemorySweep& sweep) {
    run_bounded_steps(state, shape, sweep, [](Lattice& l) { l.advance(); });
}

// The step on state.range(0) threads, by the wall clock (its rates are per second of real time).
// The bound stays one thread's memory sweep: what one core can move.
void BM_StepThreads(benchmark::State& state, Shape shape, MemorySweep& sweep) {
    const Threads threads{int(state.range(0))};
    run_bounded_steps(state, shape, sweep, [](Lattice& l) { l.advance(); }, threads);
    state.SetLabel("wall clock, " + std::to_string(threads.count) + " threads");
}

// The step as its two passes, each a sweep over the whole lattice, as it was before advance() made
// them one.
void BM_TwoPasses(benchmark::State& state, Shape shape, MemorySweep& sweep) {
    run_bounded_steps(state, shape, sweep, [](Lattice& l) {
        l.collide();
        l.stream();
    });
}

void BM_ReferenceStep(benchmark::State& state, Shape shape) { run_steps(state, shape, reference_step); }

void BM_Collide(benchmark::State& state) {
    // Collision alone leaves the state as it was, so it can repeat on one lattice.
    const auto lattice = random_world(RUNNING_SYSTEM);
    for (auto _ : state) {
        lattice->collide();
        benchmark::ClobberMemory();
    }
    count_cell_updates(state, RUNNING_SYSTEM);
}

void BM_Stream(benchmark::State& state) {
    // Streaming clears the post-collision values and changes the populations: collide again, untimed.
    const auto lattice = random_world(RUNNING_SYSTEM);
    int steps = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (++steps == STEPS_PER_RUN) {
            randomise(*lattice);
            steps = 0;
        }
        lattice->collide();
        state.ResumeTiming();
        lattice->stream();
        benchmark::ClobberMemory();
    }
    count_cell_updates(state, RUNNING_SYSTEM);
}

void BM_BuildAndSeed(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(make_world());
}

void BM_StepWithReport(benchmark::State& state) {
    std::FILE* sink = std::fopen("/dev/null", "w");
    run_steps(state, RUNNING_SYSTEM, [sink](Lattice& l) {
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
        const bool written = with_collection ? series->write(step, vti_image(l, step), error)
                                             : series->write_file(std::to_string(step) + ".vti", vti_image(l, step), error);
        if (!written) state.SkipWithError(error.c_str());
    };
    start();
    run_steps(state, RUNNING_SYSTEM, write, [&] {
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

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    MemorySweep sweep;  // shared, so that its gigabyte is filled once
    benchmark::RegisterBenchmark("BM_MemorySweep", BM_MemorySweep, std::ref(sweep));
    benchmark::RegisterBenchmark("BM_MemoryCopy", BM_MemoryCopy, std::ref(sweep));
    // The spread of a step's cost over builds of its world: every repetition builds it afresh.
    const auto spread = [](benchmark::internal::Benchmark* b) {
        b->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
        b->ComputeStatistics("max", [](const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); });
    };
    const int processors = int(std::max(1u, std::thread::hardware_concurrency()));
    for (const Shape shape : SHAPES) {
        spread(benchmark::RegisterBenchmark(("BM_Step/" + shape.name()).c_str(), BM_Step, shape, std::ref(sweep)));
        // On every processor, where there is more than one; two threads at least, so that the
        // threads' cost shows on a machine of one processor too.
        spread(benchmark::RegisterBenchmark(("BM_StepThreads/" + shape.name()).c_str(), BM_StepThreads, shape,
                                            std::ref(sweep))
                   ->Arg(std::max(2, processors))
                   ->UseRealTime());
        benchmark::RegisterBenchmark(("BM_TwoPasses/" + shape.name()).c_str(), BM_TwoPasses, shape, std::ref(sweep));
    }
    for (const Shape shape : {Shape{512, 512, 1}, Shape{128, 128, 128}}) {
        const std::string name = "BM_FluidStep/" + shape.name();
        benchmark::RegisterBenchmark((name + "/1_thread").c_str(), BM_FluidStep, shape, std::ref(sweep), 1);
        // Named with the count, and "/real_time" after it: the rates are by the clock on the wall.
        const int all = all_threads();
        if (all > 1) {
            benchmark::RegisterBenchmark((name + "/" + std::to_string(all) + "_threads").c_str(), BM_FluidStep, shape,
                                         std::ref(sweep), all)
                ->UseRealTime();
        }
    }
    benchmark::RegisterBenchmark(("BM_ReferenceStep/" + RUNNING_SYSTEM.name()).c_str(), BM_ReferenceStep, RUNNING_SYSTEM);
    benchmark::RegisterBenchmark("BM_Collide", BM_Collide);
    benchmark::RegisterBenchmark("BM_Stream", BM_Stream);
    benchmark::RegisterBenchmark("BM_BuildAndSeed", BM_BuildAndSeed);
    benchmark::RegisterBenchmark("BM_StepWithReport", BM_StepWithReport);
    benchmark::RegisterBenchmark("BM_StepWithVtkFile", BM_StepWithVtkFile);
    benchmark::RegisterBenchmark("BM_StepWithVtkSeries", BM_StepWithVtkSeries);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
