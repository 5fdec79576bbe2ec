// Scenario files: the printed world reads back as the same world, bit for bit.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <cfloat>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>

#include "common/float_text.h"
#include "common/world_options.h"

namespace {

std::uint32_t bits(float f) {
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

struct ScenarioFile {
    std::string path;
    explicit ScenarioFile(const std::string& text) {
        path = (std::filesystem::temp_directory_path() / "scenario.XXXXXX").string();
        const int fd = mkstemp(path.data());
        if (fd < 0) throw std::runtime_error("cannot make a file in " + path);
        close(fd);
        std::ofstream(path) << text;
    }
    ~ScenarioFile() { std::filesystem::remove(path); }
};

void expect_same(const World& a, const World& b) {
    EXPECT_EQ(a.columns, b.columns);
    EXPECT_EQ(a.rows, b.rows);
    EXPECT_EQ(a.planes, b.planes);
    EXPECT_EQ(bits(a.tau), bits(b.tau));
    EXPECT_EQ(bits(a.speed), bits(b.speed));
    EXPECT_EQ(a.report_row, b.report_row);
    ASSERT_EQ(a.sources.size(), b.sources.size());
    for (std::size_t i = 0; i < a.sources.size(); ++i) {
        EXPECT_EQ(a.sources[i].column, b.sources[i].column) << i;
        EXPECT_EQ(a.sources[i].row, b.sources[i].row) << i;
        EXPECT_EQ(a.sources[i].plane, b.sources[i].plane) << i;
        EXPECT_EQ(bits(a.sources[i].smoke), bits(b.sources[i].smoke)) << i;
    }
}

TEST(Scenario, TheDefaultWorldPrintsInTheSharedLayout) {
    EXPECT_EQ(scenario_text(World()),
              "[world]\ncolumns = 50\nrows = 50\nplanes = 1\ntau = 0.56\nspeed = 0.5\nreport_row = 9\n\n"
              "[[source]]\ncolumn = 25\nrow = 49\nplane = 0\nsmoke = 0.42\n");
}

TEST(Scenario, APrintedWorldReadsBackBitForBit) {
    World awkward;
    awkward.columns = 37;
    awkward.rows = 2147483647;
    awkward.planes = 3;
    awkward.tau = 1e-30f;
    awkward.speed = FLT_MAX;
    awkward.report_row = 22;
    awkward.sources = {{0, 1, 2, -0.0f}, {5, 6, 0, std::numeric_limits<float>::denorm_min()}, {1, 1, 1, 3.0f},
                       {2, 2, 2, 0.1f}, {3, 3, 0, -16777217.0f}};
    World no_smoke;
    no_smoke.sources.clear();
    for (const World& world : {World(), awkward, no_smoke}) {
        const ScenarioFile file(scenario_text(world));
        World read;
        std::string problem;
        ASSERT_TRUE(read_scenario(file.path, read, problem)) << problem << "\n" << scenario_text(world);
        expect_same(read, world);
    }
}

TEST(Scenario, EveryKeyIsOptionalAndASourceTakesTheDefaultsItLacks) {
    const ScenarioFile file("# a comment\n[world]\ntau = 1  # an integer is a number too\n\n[[source]]\nsmoke = 2.5\n");
    World read;
    std::string problem;
    ASSERT_TRUE(read_scenario(file.path, read, problem)) << problem;
    World expected;
    expected.tau = 1.0f;
    expected.sources = {{SOURCE_X, SOURCE_Y, SOURCE_PLANE, 2.5f}};
    expect_same(read, expected);
}

}  // namespace

namespace {

// Python, pandas and TOML readers take a figure as a double, then round it to float.
TEST(FloatText, EveryFigureReadsBackThroughDoubleToo) {
    const std::uint32_t awkward = 0x15ae43fd;  // 7.038531e-26 as its shortest text reads back, via double, one off
    float value;
    std::memcpy(&value, &awkward, sizeof value);
    for (const float f : {value, -value, 0.56f, 1e-45f, -0.0f, FLT_MAX}) {
        const std::string text = float_text(f);
        EXPECT_EQ(bits(float(std::strtod(text.c_str(), nullptr))), bits(f)) << text;
        EXPECT_EQ(bits(std::strtof(text.c_str(), nullptr)), bits(f)) << text;
    }
}

}  // namespace
