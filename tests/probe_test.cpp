// smoke-steps' microscope, --probe and --until-nonfinite, against the position-addressed stepper.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>

#include "position_stepper.h"

namespace {

// A figure of the CSV is the float itself, read back exactly; "nan" for every NaN.
bool same(const std::string& text, float value) {
    return std::isnan(value) ? text == "nan" : bits(std::strtof(text.c_str(), nullptr)) == bits(value);
}

TEST(Probe, EveryStepsRowHoldsTheProbedCellsValuesInTheOrderGiven) {
    const Place probes[] = {{25, 40, 0}, {3, 9, 0}, {25, 49, 0}};
    // STEPS after a --probe is STEPS, not a second cell.
    const ProcessResult r = smoke_steps({"--probe", "25,40,0", "150", "--probe", "3,9,0", "--probe", "25,49,0"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::string line;
    std::getline(lines, line);
    std::string header = "step,column,row,plane,smoke,density,velocity";
    for (int i = 0; i < 19; ++i) header += ",f" + std::to_string(i);
    EXPECT_EQ(line, header);
    PositionStepper stepper{World()};
    bool saw_nan = false;
    for (long step = 0; step <= 150; ++step) {
        if (step > 0) stepper.step();
        for (const Place& p : probes) {
            ASSERT_TRUE(std::getline(lines, line)) << step;
            std::vector<std::string> fields;
            std::istringstream split(line);
            for (std::string f; std::getline(split, f, ',');) fields.push_back(f);
            ASSERT_EQ(fields.size(), 26u) << line;
            EXPECT_EQ(fields[0] + fields[1] + fields[2] + fields[3],
                      std::to_string(step) + std::to_string(p.column) + std::to_string(p.row) + "0");
            const auto values = stepper.values(stepper.at(p.column, p.row, p.plane));
            for (int q = 0; q < 22; ++q) ASSERT_TRUE(same(fields[4 + q], values[q])) << line << " quantity " << q;
            saw_nan = saw_nan || line.find("nan") != std::string::npos;
        }
    }
    EXPECT_FALSE(std::getline(lines, line));
    EXPECT_TRUE(saw_nan);
}

// The first step after which any value of any cell is not finite, and where, found in the stepper.
struct Break {
    long step = -1;
    Place cell{};
    int quantity = -1;
};

Break first_break(const World& world, long steps) {
    PositionStepper stepper(world);
    for (long step = 1; step <= steps; ++step) {
        stepper.step();
        for (int p = 0; p < world.planes; ++p)
            for (int y = 0; y < world.rows; ++y)
                for (int x = 0; x < world.columns; ++x) {
                    const auto values = stepper.values(stepper.at(x, y, p));
                    for (int q = 0; q < 22; ++q)
                        if (!std::isfinite(values[q])) return {step, {x, y, p}, q};
                }
    }
    return {};
}

TEST(UntilNonfinite, StopsAfterTheStepThatBrokeAndSaysWhereInOneLine) {
    const char* const quantities[] = {"smoke", "density", "velocity"};
    const World block = world_of(12, 16, 3, {{6, 15, 2, 0.42f}}, 9);
    const std::vector<std::pair<World, std::vector<std::string>>> runs = {
        {World(), {}},
        {block, {"--size", "12x16", "--planes", "3", "--source", "6,15,2,0.42"}},
    };
    for (const auto& [world, options] : runs) {
        const Break expected = first_break(world, 400);
        ASSERT_GT(expected.step, 0);
        std::vector<std::string> args = {"400", "--until-nonfinite"};
        args.insert(args.end(), options.begin(), options.end());
        const ProcessResult r = smoke_steps(args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(count_reports(r.out), size_t(expected.step));
        const std::string what = expected.quantity < 3 ? quantities[expected.quantity]
                                                       : "population " + std::to_string(expected.quantity - 3);
        const std::string where = "cell " + std::to_string(expected.cell.column) + "," +
                                  std::to_string(expected.cell.row) + "," + std::to_string(expected.cell.plane);
        EXPECT_EQ(r.err.rfind("smoke-steps: step " + std::to_string(expected.step) +
                                  " made the first value that is not finite: " + where + ", its " + what + " (",
                              0),
                  0u)
            << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
    }
    // With --vtk, the last file is the step that broke.
    const TemporaryFolder folder;
    const ProcessResult files = smoke_steps({"400", "--until-nonfinite", "--vtk", folder / "s", "--every", "100"});
    EXPECT_EQ(names_in(folder / "s"), (std::vector<std::string>{"scenario.toml", "smoke.pvd", "smoke_000000.vti", "smoke_000100.vti",
                                               "smoke_000139.vti"}))
        << files.err;

    const ProcessResult calm = smoke_steps({"30", "--until-nonfinite"});
    EXPECT_EQ(calm.err, "smoke-steps: every value is still finite after step 30\n");
    EXPECT_EQ(count_reports(calm.out), 30u);
}

}  // namespace
