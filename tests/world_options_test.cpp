// Scenario files: the printed world reads back as the same world, bit for bit. The memory left,
// read from fake /proc and /sys trees, and the refusal it makes.
#include <gtest/gtest.h>

#include <sched.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <cfloat>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>

#include <CLI/CLI.hpp>

#include "common/float_text.h"
#include "common/memory_available.h"
#include "common/run_options.h"
#include "common/world_options.h"
#include "testing.h"

namespace {

struct ScenarioFile {
    TemporaryFolder folder;
    std::string path;
    explicit ScenarioFile(const std::string& text) : path(folder.file("scenario.toml", text)) {}
};

// The world of a scenario file as both programs read it, to be printed, which needs no memory.
bool read_scenario(const std::string& path, World& world, std::string& problem) {
    CLI::App app;
    WorldOptions options(app);
    const char* argv[] = {"test", "--print-scenario", "--scenario", path.c_str()};
    app.parse(4, argv);
    const std::optional<World> read = options.world(problem);
    if (read) world = *read;
    return bool(read);
}

// Every setting of a world, floats as their bits.
std::vector<long long> settings(const World& w) {
    std::vector<long long> v = {w.columns, w.rows, w.planes, bits(w.tau), bits(w.speed), w.report_row};
    for (const Source& s : w.sources) v.insert(v.end(), {s.column, s.row, s.plane, bits(s.smoke)});
    return v;
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
        EXPECT_EQ(settings(read), settings(world));
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
    EXPECT_EQ(settings(read), settings(expected));
}

TEST(Scenario, ABareSourceTableIsTheDefaultSource) {
    const ScenarioFile bare("[[source]]\n");
    World read;
    read.sources.clear();
    std::string problem;
    ASSERT_TRUE(read_scenario(bare.path, read, problem)) << problem;
    EXPECT_EQ(settings(read), settings(World()));
    // Its values are the default source's, and a message names them by the table.
    const ScenarioFile small("[world]\ncolumns = 10\nrows = 10\n\n[[source]]\n");
    ASSERT_FALSE(read_scenario(small.path, read, problem));
    EXPECT_EQ(problem, small.path + ":5: source column must be 0 to 9 in the 10 x 10 x 1 world");
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

namespace {

// A fake /proc and /sys in a temporary folder.
struct FakeTree {
    TemporaryFolder folder;
    const std::filesystem::path& root = folder.path;
    void file(const std::string& path, const std::string& text) const { folder.file(path, text); }
    // A file that is there but cannot be read, even by root: a folder in its place.
    void unreadable(const std::string& path) const { std::filesystem::create_directories(root / path); }
    MemorySources sources() const { return {(root / "proc").string(), (root / "sys").string(), nullptr}; }
};

constexpr const char* V2_SELF = "0::/jobs/mine\n";
constexpr const char* V1_SELF = "5:cpu,cpuacct:/x\n4:memory:/jobs/mine\n1:name=systemd:/\n";

TEST(MemoryAvailable, ControlGroupLimitsLessWhatTheyUse) {
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> files;
        MemoryFigure expected;
    };
    const std::string v2 = "sys/fs/cgroup/jobs/mine/", v1 = "sys/fs/cgroup/memory/jobs/mine/";
    const std::vector<Case> cases = {
        {"v2", {{"proc/self/cgroup", V2_SELF}, {v2 + "memory.max", "1000000\n"}, {v2 + "memory.current", "400000\n"}},
         MemoryFigure::of(600000)},
        {"v2 max", {{"proc/self/cgroup", V2_SELF}, {v2 + "memory.max", "max\n"}, {v2 + "memory.current", "400000\n"}},
         {MemoryFigure::no_limit}},
        {"v2 parent's limit",
         {{"proc/self/cgroup", V2_SELF}, {v2 + "memory.max", "max\n"}, {v2 + "memory.current", "400000\n"},
          {"sys/fs/cgroup/jobs/memory.max", "700000\n"}, {"sys/fs/cgroup/jobs/memory.current", "500000\n"}},
         MemoryFigure::of(200000)},
        {"v2 usage above the limit", {{"proc/self/cgroup", V2_SELF}, {v2 + "memory.max", "1000\n"},
                                      {v2 + "memory.current", "5000\n"}}, MemoryFigure::of(0)},
        {"v1", {{"proc/self/cgroup", V1_SELF}, {v1 + "memory.limit_in_bytes", "5000\n"},
                {v1 + "memory.usage_in_bytes", "2000\n"}}, MemoryFigure::of(3000)},
        {"v1 usage above the limit", {{"proc/self/cgroup", V1_SELF}, {v1 + "memory.limit_in_bytes", "5000\n"},
                                      {v1 + "memory.usage_in_bytes", "9000\n"}}, MemoryFigure::of(0)},
        {"no limit file", {{"proc/self/cgroup", V2_SELF}}, {MemoryFigure::no_limit}},
        {"no control groups", {}, {MemoryFigure::no_limit}},
        {"a usage that is not a number", {{"proc/self/cgroup", V2_SELF}, {v2 + "memory.max", "1000\n"},
                                          {v2 + "memory.current", "lots\n"}}, {MemoryFigure::unknown}},
    };
    for (const Case& c : cases) {
        const FakeTree tree;
        for (const auto& [path, text] : c.files) tree.file(path, text);
        EXPECT_EQ(cgroup_available(tree.sources()), c.expected) << c.what;
    }
    // A file that is there but cannot be read is unknown, never unlimited.
    const std::vector<std::pair<const char*, std::string>> unreadable = {
        {"membership", "proc/self/cgroup"}, {"limit", v2 + "memory.max"}, {"usage", v2 + "memory.current"}};
    for (const auto& [what, path] : unreadable) {
        const FakeTree tree;
        tree.file("proc/self/cgroup", V2_SELF);
        tree.file(v2 + "memory.max", "1000\n");
        tree.file(v2 + "memory.current", "10\n");
        std::filesystem::remove_all(tree.root / path);
        tree.unreadable(path);
        EXPECT_EQ(cgroup_available(tree.sources()), MemoryFigure{}) << what;
    }
}

std::optional<std::uint64_t> plenty() { return std::uint64_t(1) << 50; }
std::optional<std::uint64_t> no_sysinfo() { return std::nullopt; }

bool process_limits_memory() {
    for (const int resource : {RLIMIT_AS, RLIMIT_DATA}) {
        rlimit limit;
        if (getrlimit(resource, &limit) != 0 || limit.rlim_cur != RLIM_INFINITY) return true;
    }
    return false;
}

TEST(MemoryAvailable, TheSmallestFigureAndUnknownWhenNothingTellsIt) {
    if (process_limits_memory()) GTEST_SKIP() << "this process's own limits would take part";
    {
        const FakeTree tree;  // MemAvailable within a control group's limit
        tree.file("proc/meminfo", "MemTotal:  900 kB\nMemAvailable:  800 kB\n");
        EXPECT_EQ(meminfo_available(tree.sources().proc), MemoryFigure::of(800 * 1024));
        EXPECT_EQ(memory_available(tree.sources()), std::optional<std::uint64_t>(800 * 1024));
        tree.file("proc/self/cgroup", V2_SELF);
        tree.file("sys/fs/cgroup/jobs/mine/memory.max", "100000\n");
        tree.file("sys/fs/cgroup/jobs/mine/memory.current", "1000\n");
        EXPECT_EQ(memory_available(tree.sources()), std::optional<std::uint64_t>(99000));
    }
    {
        const FakeTree tree;  // a hidden /proc: sysinfo(2) answers, and without it nothing does
        tree.unreadable("proc/meminfo");
        EXPECT_EQ(meminfo_available(tree.sources().proc), MemoryFigure{});
        MemorySources sources = tree.sources();
        sources.system_free = plenty;
        EXPECT_EQ(memory_available(sources), plenty());
        sources.system_free = no_sysinfo;
        EXPECT_EQ(memory_available(sources), std::nullopt);
        EXPECT_TRUE(memory_available(tree.sources()).has_value());  // the real sysinfo(2)
    }
}

TEST(MemoryAvailable, WhatIsNeededRoundsUpAndWhatThereIsDown) {
    const std::vector<std::tuple<std::uint64_t, bool, const char*>> texts = {
        {0, true, "0 bytes"},           {999, true, "999 bytes"},        {1000, true, "1.0 KB"},
        {1001, true, "1.1 KB"},         {1099, false, "1.0 KB"},         {999999, true, "1000.0 KB"},
        {19520000000000, true, "19.6 TB"}, {19520000000000, false, "19.5 TB"},
        {18446744073709551615u, false, "18.4 EB"}, {18446744073709551615u, true, "18.5 EB"},
    };
    for (const auto& [bytes, up, text] : texts) EXPECT_EQ(memory_text(bytes, up), text) << bytes;

    World sheet;  // 2500 cells of 488 bytes: 1,220,000 bytes, and 88 more a cell for a file
    const std::string start = "the 50 x 50 x 1 world needs ";
    EXPECT_EQ(memory_problem(sheet, 0, 1219999), start + "1.3 MB of memory, and 1.2 MB is available");
    EXPECT_EQ(memory_problem(sheet, 0, 1220000), std::nullopt);
    EXPECT_EQ(memory_problem(sheet, 88, 1439999), start + "1.5 MB of memory, and 1.4 MB is available");
    EXPECT_EQ(memory_problem(sheet, 88, 1440000), std::nullopt);
    EXPECT_EQ(memory_problem(sheet, 0, std::nullopt),
              start + "1.3 MB of memory, and the memory available cannot be told");
    World huge;
    huge.columns = huge.rows = huge.planes = 2147483647;
    EXPECT_EQ(memory_problem(huge, 0, 1000),
              "the 2147483647 x 2147483647 x 2147483647 world needs more memory than can be counted, and 1.0 KB is "
              "available");
}

// With no --threads a step takes every core this process may run on, which its affinity tells:
// pinned to one core, one. 256 is the most it takes.
TEST(RunOptions, TheDefaultIsTheCoresThisProcessMayRunOn) {
    cpu_set_t all;
    ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
    const auto threads = [](const std::string& args, std::string& problem) {
        CLI::App app;
        const RunOptions options(app);
        app.parse(args);
        return options.threads(problem);
    };
    std::string problem;
    EXPECT_EQ(threads("", problem), CPU_COUNT(&all));
    int first = 0;
    while (!CPU_ISSET(first, &all)) ++first;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(first, &one);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    const std::optional<int> pinned = threads("", problem);
    const int pinned_cores = available_cores();
    ASSERT_EQ(sched_setaffinity(0, sizeof all, &all), 0);
    EXPECT_EQ(pinned, 1);
    EXPECT_EQ(pinned_cores, 1);
    EXPECT_EQ(threads("--threads 256", problem), 256) << problem;
}

}  // namespace
