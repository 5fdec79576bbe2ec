// The step allocates nothing: every C++ allocation in this executable is counted.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "lattice/lattice.h"

namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t size) {
    ++allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

TEST(Allocation, BuildingAllocatesStepsDoNot) {
    const long before_build = allocations;
    const auto world = make_world();
    Lattice& lattice = *world;
    EXPECT_GT(allocations - before_build, GRID_SIZE * GRID_SIZE);  // the counter does count

    std::FILE* sink = std::fopen("/dev/null", "w");
    ASSERT_NE(sink, nullptr);
    std::FILE* const saved = stdout;
    stdout = sink;  // the reports of 200 steps have nowhere useful to go
    const long before_steps = allocations;
    for (int i = 0; i < 200; ++i) lattice.step();
    const long during_steps = allocations - before_steps;
    stdout = saved;
    std::fclose(sink);
    EXPECT_EQ(during_steps, 0);

    // A block of planes takes the step's other path through its sweep.
    World block;
    block.planes = 3;
    const auto blocks = make_world(block);
    const long before_block_steps = allocations;
    for (int i = 0; i < 20; ++i) blocks->advance();
    EXPECT_EQ(allocations - before_block_steps, 0);

    // And on threads, each with its band of rows.
    World tall;
    tall.rows = 3 * MIN_ROWS_PER_THREAD;
    const auto threaded = make_world(tall);
    threaded->set_threads(3);
    ASSERT_EQ(threaded->teams(), 3);
    const long before_threaded_steps = allocations;
    for (int i = 0; i < 20; ++i) threaded->advance();
    EXPECT_EQ(allocations - before_threaded_steps, 0);
}

}  // namespace
