#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "lattice/lattice.h"
#include "position_stepper.h"
#include "testing.h"

namespace {

// The report of step 100: figures near 1e27, where a changed rounding anywhere would show.
const char* const GOLDEN_REPORT_100 =
    "Lattice 0: 1827153247127888060445884416.000000 / 112308869222108094074454016.000000\n"
    "Lattice 1: 3299398221827328652267749376.000000 / 116346409554613309039181824.000000\n"
    "Lattice 2: 3865429627753334528813301760.000000 / 119829809695144289073364992.000000\n"
    "Lattice 3: 4001277058922330074617217024.000000 / 122786629079347156247117824.000000\n"
    "Lattice 4: 4118571492771751501787824128.000000 / 125251621373056779355684864.000000\n"
    "Lattice 5: 4218117502491117726128406528.000000 / 127268237881938781247897600.000000\n"
    "Lattice 6: 4301055834733946946310897664.000000 / 128886192581271809165361152.000000\n"
    "Lattice 7: 4368842454116488909825245184.000000 / 130158224712362598716145664.000000\n"
    "Lattice 8: 4423144651155101780784709632.000000 / 131137110410006032927424512.000000\n"
    "Lattice 9: 4465732132689240958733123584.000000 / 131873227732267412584660992.000000\n"
    "\n";

// Where the lattice first differs from the stepper in any value of any cell, bit for bit (so a NaN
// equals the same NaN); empty when nowhere. Between steps nothing waits to be streamed.
std::string first_difference(const Lattice& lattice, const PositionStepper& stepper) {
    const World& w = stepper.world;
    for (int p = 0; p < w.planes; ++p)
        for (int y = 0; y < w.rows; ++y)
            for (int x = 0; x < w.columns; ++x) {
                const Cell& a = *lattice.cell(x, y, p);
                const long c = stepper.at(x, y, p);
                const std::string cell = "cell " + std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(p);
                if (bits(a.smoke) != bits(stepper.smoke[c])) return cell + " smoke";
                if (bits(a.density) != bits(stepper.density[c])) return cell + " density";
                if (bits(a.velocity) != bits(stepper.velocity[c])) return cell + " velocity";
                for (int i = 0; i < DIRECTION_COUNT; ++i) {
                    const Link& link = a.links[i];
                    if (bits(link.population) != bits(stepper.population[c][i])) return cell + " population " + std::to_string(i);
                    if (bits(link.equilibrium) != bits(stepper.equilibrium[c][i])) return cell + " equilibrium " + std::to_string(i);
                    if (bits(link.post_collision) != bits(0.0f)) return cell + " post-collision " + std::to_string(i);
                }
            }
    return "";
}

// Random smoke and populations of either sign, some of them zeros of either sign, and a rare inf,
// -inf or nan (rare, because a nan reaches every neighbour's smoke in a step), the same in the
// lattice and the stepper. Unlike a seeded world, such a state has no symmetry to hide a link
// streamed out of turn, or a cell collided after a neighbour has streamed into it.
void scatter(Lattice& lattice, PositionStepper& stepper, std::mt19937& random) {
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    std::uniform_int_distribution<int> kind(0, 999);
    // The nan the processor's arithmetic makes, as the model's own are: where two nans of different
    // signs meet in an addition, the result depends on the compiler's choice of operand order.
    volatile float infinity = INFINITY;
    const float nan = infinity - infinity;
    const auto draw = [&] {
        const int k = kind(random);
        if (k == 0) return INFINITY;
        if (k == 1) return -INFINITY;
        if (k == 2) return nan;
        if (k < 50) return k % 2 ? 0.0f : -0.0f;
        return value(random);
    };
    const World& w = stepper.world;
    for (int p = 0; p < w.planes; ++p)
        for (int y = 0; y < w.rows; ++y)
            for (int x = 0; x < w.columns; ++x) {
                Cell& a = *lattice.cell(x, y, p);
                const long c = stepper.at(x, y, p);
                a.smoke = stepper.smoke[c] = draw();
                for (int i = 0; i < DIRECTION_COUNT; ++i) a.links[i].population = stepper.population[c][i] = draw();
            }
}

World shaped(int columns, int rows, int planes, float tau, float speed, std::vector<Source> sources) {
    World w = world_of(columns, rows, planes, std::move(sources));
    w.tau = tau;
    w.speed = speed;
    return w;
}

// The one test of the step against the stepper: every shape, from its seeded state through inf and
// nan, and from random states.
TEST(Step, IsThePositionSteppersBitForBitInEveryShapeAndFromEveryStart) {
    struct Shape {
        const char* name;
        World world;
        bool runs_away;  // its seeded state reaches inf or nan within the steps run
    };
    const Shape shapes[] = {
        {"one cell", shaped(1, 1, 1, 0.56f, 0.5f, {{0, 0, 0, 0.42f}}), false},
        {"one row", shaped(12, 1, 5, 0.9f, 0.3f, {{11, 0, 4, 2.0f}, {0, 0, 0, 1.0f}}), false},
        {"one column", shaped(1, 9, 4, 0.9f, 0.3f, {{0, 8, 3, 2.0f}, {0, 0, 0, 1.0f}}), false},
        {"a sheet", shaped(7, 5, 1, 0.7f, 0.3f, {{3, 4, 0, 1.5f}}), false},
        {"a block", shaped(37, 23, 3, 0.7f, 0.3f, {{5, 22, 0, 1.5f}, {30, 10, 2, 0.2f}, {5, 21, 1, -0.4f}}), true},
        // More planes than rows, so that a plane's rows start after the lower planes' have ended; the
        // one source seeded twice, the last winning.
        {"two rows of seven planes", shaped(6, 2, 7, 1.3f, 0.3f, {{5, 1, 1, 0.8f}, {5, 1, 1, 0.1f}}), false},
        {"20 x 20 x 4", shaped(20, 20, 4, 0.56f, 0.5f, {{10, 19, 2, 0.42f}}), true},
        {"the running system", World(), true},
    };
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.name);
        const auto lattice = make_world(shape.world);
        PositionStepper stepper(shape.world);
        bool ran_away = false;
        for (int step = 1; step <= 150; ++step) {
            lattice->advance();
            stepper.step();
            ASSERT_EQ(first_difference(*lattice, stepper), "") << "seeded, step " << step;
            for (const float smoke : stepper.smoke) ran_away = ran_away || !std::isfinite(smoke);
        }
        EXPECT_EQ(ran_away, shape.runs_away);

        std::mt19937 random(20240601);
        for (int start = 1; start <= 3; ++start) {
            scatter(*lattice, stepper, random);
            for (int step = 1; step <= 8; ++step) {
                lattice->advance();
                stepper.step();
                ASSERT_EQ(first_difference(*lattice, stepper), "") << "random start " << start << ", step " << step;
            }
        }
    }
}

// The same on one, two and three threads: bands of odd sizes over one, two and five planes, so that
// every kind of edge between bands is crossed (a band's first and last rows, in the lowest plane, a
// middle one and the highest), and a world with fewer rows than threads. The step's two passes on
// the same threads give the same figures.
TEST(Step, IsThePositionSteppersBitForBitOnAnyNumberOfThreads) {
    const int rows = 3 * MIN_ROWS_PER_THREAD + 2;
    const struct {
        const char* name;
        World world;
    } shapes[] = {
        {"one plane", shaped(13, rows, 1, 0.7f, 0.3f, {{6, rows - 1, 0, 1.5f}, {0, 0, 0, -0.5f}})},
        {"two planes", shaped(9, rows + 1, 2, 0.9f, 0.4f, {{4, rows / 2, 1, 1.5f}, {8, rows / 3, 0, 0.7f}})},
        {"five planes", shaped(5, rows + 3, 5, 0.6f, 0.5f, {{2, MIN_ROWS_PER_THREAD, 2, 1.0f}})},
        {"fewer rows than threads", shaped(7, 2, 3, 0.8f, 0.3f, {{3, 1, 1, 1.0f}})},
    };
    for (const auto& shape : shapes) {
        for (int threads = 1; threads <= 3; ++threads) {
            SCOPED_TRACE(std::string(shape.name) + ", " + std::to_string(threads) + " threads");
            const auto lattice = make_world(shape.world);
            lattice->set_threads(threads);
            ASSERT_EQ(lattice->threads(), threads);
            // Every band has its edges, unless the rows are too few to share.
            ASSERT_EQ(lattice->teams(), shape.world.rows < MIN_ROWS_PER_THREAD ? 1 : threads);
            PositionStepper stepper(shape.world);
            const auto step_both = [&](int step) {
                if (step % 3 == 0) {
                    lattice->collide();
                    lattice->stream();
                } else {
                    lattice->advance();
                }
                stepper.step();
            };
            for (int step = 1; step <= 30; ++step) {
                step_both(step);
                ASSERT_EQ(first_difference(*lattice, stepper), "") << "seeded, step " << step;
            }
            std::mt19937 random(20240607);
            for (int start = 1; start <= 3; ++start) {
                scatter(*lattice, stepper, random);
                for (int step = 1; step <= 6; ++step) {
                    step_both(step);
                    ASSERT_EQ(first_difference(*lattice, stepper), "") << "random start " << start << ", step " << step;
                }
            }
        }
    }
}

// Cells whose post-collision values are zeros of either sign, side by side: a band's pull must raise
// a link only where the value is strictly larger, so an equal zero of the other sign is kept out, as
// the push keeps it. A rest population of -denorm_min makes a density whose equilibria round to -0,
// and so post-collision values of -0; cells of +0 populations give +0.
TEST(Step, ZerosOfEitherSignRaiseAsThePushDoesOnThreads) {
    const World world = shaped(6, 2 * MIN_ROWS_PER_THREAD + 1, 2, 0.7f, 0.3f, {});
    const auto lattice = make_world(world);
    lattice->set_threads(2);
    ASSERT_EQ(lattice->teams(), 2);
    PositionStepper stepper(world);
    std::mt19937 random(20240611);
    for (int p = 0; p < world.planes; ++p)
        for (int y = 0; y < world.rows; ++y)
            for (int x = 0; x < world.columns; ++x) {
                const float zero = random() % 2 ? 0.0f : -0.0f;
                Cell& a = *lattice->cell(x, y, p);
                const long c = stepper.at(x, y, p);
                for (int i = 0; i < DIRECTION_COUNT; ++i) a.links[i].population = stepper.population[c][i] = zero;
                if (std::signbit(zero)) a.links[0].population = stepper.population[c][0] = -std::numeric_limits<float>::denorm_min();
            }
    for (int step = 1; step <= 2; ++step) {
        lattice->advance();
        stepper.step();
        ASSERT_EQ(first_difference(*lattice, stepper), "") << "step " << step;
    }
}

TEST(Step, ThreadsDefaultToTheProcessorsAndAreAtLeastOne) {
    Lattice lattice(9, 4 * MIN_ROWS_PER_THREAD, 1, WORLD_TAU, WORLD_LATTICE_SPEED);
    EXPECT_EQ(lattice.threads(), int(std::max(1u, std::thread::hardware_concurrency())));
    lattice.set_threads(4);
    EXPECT_EQ(lattice.threads(), 4);
    EXPECT_EQ(lattice.teams(), 4);
    lattice.set_threads(7);  // more than the rows can share
    EXPECT_EQ(lattice.teams(), 4);
    lattice.set_threads(1);
    EXPECT_EQ(lattice.teams(), 1);
    // Whole bands only: a row short of three bands makes two.
    Lattice short_of_three(9, 3 * MIN_ROWS_PER_THREAD - 1, 1, WORLD_TAU, WORLD_LATTICE_SPEED);
    short_of_three.set_threads(4);
    EXPECT_EQ(short_of_three.teams(), 2);
#ifdef NDEBUG
    lattice.set_threads(0);
    EXPECT_EQ(lattice.threads(), 1);
#else
    EXPECT_DEATH(lattice.set_threads(0), "");
#endif
}

TEST(Step, ReportFiguresStayBitExact) {
    // Pinned figures: any change of rounding (fused multiply-add, fast-math, float instead of double
    // between rounding points) shows up here, before the values overflow.
    const auto lattice = make_world();
    for (int i = 0; i < 100; ++i) lattice->advance();
    EXPECT_EQ(report_text(*lattice), GOLDEN_REPORT_100);
}

TEST(Step, ExtremeValuesEverywhereStepWithoutFault) {
    // Every population and smoke set to one of the awkward floats; the build with sanitizers checks
    // that nothing here is undefined.
    const auto lattice = make_world();
    const float values[] = {INFINITY, -INFINITY, NAN, FLT_MAX, -FLT_MAX, std::numeric_limits<float>::denorm_min(),
                            -0.0f, 1.0f};
    size_t k = 0;
    for (const auto& cell : lattice->planes[0]->cells) {
        cell->smoke = values[k++ % std::size(values)];
        for (Link& link : cell->links) link.population = values[k++ % std::size(values)];
    }
    for (int i = 0; i < 20; ++i) lattice->advance();
    const std::string report = report_text(*lattice);
    EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 11);
    EXPECT_NE(report.find("nan"), std::string::npos) << report;
    for (const auto& cell : lattice->planes[0]->cells) {
        for (const Link& link : cell->links) ASSERT_EQ(link.post_collision, 0.0f);
    }
}

}  // namespace
