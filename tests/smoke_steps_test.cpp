#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "field_output.h"

#include "harness/process.h"

namespace {

constexpr const char* USAGE = "usage: smoke-steps [STEPS] [--vtk DIR] [--every K] [--csv] [world options]";

ProcessResult smoke_steps(std::vector<std::string> args) {
    args.insert(args.begin(), SMOKE_STEPS);
    return run_process(args);
}

TEST(SmokeSteps, RunsOneStepByDefault) {
    const ProcessResult r = smoke_steps({});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    std::string expected;
    for (int i = 0; i < 10; ++i) expected += "Lattice " + std::to_string(i) + ": 0.000000 / 0.000000\n";
    EXPECT_EQ(r.out, expected + "\n");
}

TEST(SmokeSteps, PrintsOneReportPerStep) {
    const ProcessResult none = smoke_steps({"0"});
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, "");

    const ProcessResult r = smoke_steps({"40"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(count_of(r.out, "Lattice 0: "), 40u);
    EXPECT_EQ(count_reports(r.out), 40u);
    // The last report is step 40: populations toward the next column have just arrived.
    EXPECT_NE(r.out.find("Lattice 9: 0.037941 / 0.000546\n\n"), std::string::npos);
    EXPECT_EQ(smoke_steps({"0040"}).out, r.out);
    EXPECT_EQ(smoke_steps({"-0"}).status, 0);
}

TEST(SmokeSteps, HelpGoesToStandardOutput) {
    const ProcessResult r = smoke_steps({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.rfind(std::string(USAGE) + "\n", 0), 0u);
}

// A fresh folder for one test's files, removed with it.
struct TemporaryFolder {
    std::filesystem::path path;
    TemporaryFolder() {
        std::string name = (std::filesystem::temp_directory_path() / "smoke-steps-test.XXXXXX").string();
        if (!mkdtemp(name.data())) throw std::runtime_error("cannot make a folder in " + name);
        path = name;
    }
    ~TemporaryFolder() { std::filesystem::remove_all(path); }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
};

TEST(SmokeSteps, RefusesBadArgumentsWithStatusTwo) {
    const TemporaryFolder folder;
    const auto scenario = [&](const std::string& name, const std::string& text) {
        std::ofstream(folder / name) << text;
        return folder / name;
    };
    const std::string range = "whole number from 0 to 1000000000, not ";
    const std::string bad_key = scenario("key.toml", "[world]\ncolumns = 5\nrow = 3\n");
    const std::string bad_toml = scenario("toml.toml", "[world]\n\ntau = = 1\n");
    const std::string bad_type = scenario("type.toml", "[world]\nplanes = 2.0\n");
    const std::string outside = scenario("outside.toml", "[world]\ncolumns = 20\n[[source]]\ncolumn = 1\nrow = 1\n\n"
                                                         "[[source]]\ncolumn = 20\n");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"abc"}, range + "'abc'"},
        {{"1.5"}, range},
        {{""}, range},
        {{"12x"}, range},
        {{"+3"}, range},
        {{"-1"}, range},
        {{"1000000001"}, range},
        {{"99999999999999999999999"}, range},
        {{std::string(100000, '9')}, range + "'" + std::string(60, '9') + "...'\n"},
        {{"--steps"}, "not expected: --steps"},
        {{"-x"}, "not expected: -x"},
        {{"1", "2"}, "not expected: 2"},
        {{"--vtk"}, "--vtk: 1 required DIR missing"},
        {{"3", "--vtk", "--csv"}, "--vtk needs a folder, not '--csv'"},  // an empty variable in a script
        {{"--vtk", "a", "--vtk", "b"}, "--vtk: At Most 1"},
        {{"--every", "0", "--vtk", "d"}, "K must be a whole number from 1"},
        {{"--every", "2"}, "--every applies to --vtk"},
        // The world: each refusal names the option, or the file, line and key.
        {{"--size", "0"}, "--size must be COLUMNSxROWS or N"},
        {{"--size", "3x"}, "--size must be"},
        {{"--planes", "99999999999"}, "--planes must be a whole number from 1 to 2147483647, not '99999999999'"},
        {{"--tau", "0"}, "--tau must be a finite number above 0, not '0'"},
        {{"--tau", "nan"}, "--tau must be a finite number above 0"},
        {{"--tau", "1e39"}, "--tau must fit in a 32-bit float"},
        {{"--speed", "-0.5"}, "--speed must be a finite number of at least 0"},
        {{"--speed", "x"}, "--speed must be a number, not 'x'"},
        {{"--source", "1,2,3"}, "--source '1,2,3': must be X,Y,PLANE,SMOKE"},
        {{"--source", "0,0,0,inf"}, "SMOKE must be a finite number"},
        {{"--source", "0,0,1,1"}, "--source '0,0,1,1': plane must be 0 in the 50 x 50 x 1 world"},
        {{"--size", "10"}, "the default source 25,49,0,0.42 lies outside the 10 x 10 x 1 world"},
        {{"--size", "30x5", "--source", "1,1,0,1"}, "the default report row 9 lies outside the 30 x 5 x 1 world"},
        {{"--report-row", "50"}, "--report-row '50' must be a row of the world, 0 to 49"},
        {{"--size", "200000"}, "the 200000 x 200000 x 1 world needs 19.5 TB of memory, and "},  // 488 bytes a cell
        {{"--size", "2147483647", "--planes", "2147483647"}, "needs more memory than can be counted"},
        {{"--scenario", folder / "none.toml"}, "cannot read the scenario '" + folder / "none.toml"},
        {{"--scenario", folder.path}, "cannot read the scenario"},
        {{"--scenario", bad_key}, bad_key + ":3: unknown key 'row' in [world]"},
        {{"--scenario", bad_toml}, bad_toml + ":3: "},
        {{"--scenario", bad_type}, bad_type + ":2: planes must be a whole number"},
        {{"--scenario", outside}, outside + ":7: source column must be 0 to 19 in the 20 x 50 x 1 world"},
    };
    for (const auto& [args, problem] : cases) {
        const ProcessResult r = smoke_steps(args);
        std::string what;
        for (const std::string& arg : args) what += arg.substr(0, 30) + " ";
        EXPECT_EQ(r.status, 2) << what;
        EXPECT_EQ(r.out, "") << what;
        EXPECT_EQ(r.err.rfind("smoke-steps: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(problem), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(USAGE), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;  // the problem, and the usage
    }
}

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(SmokeStepsVtk, WritesTheSeededStateEveryKthStepAndTheLastListedInTheCollection) {
    const TemporaryFolder folder;
    const std::string series = folder / "new/series";  // created, parents included
    const ProcessResult r = smoke_steps({"--every", "3", "7", "--vtk", series});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(count_reports(r.out), 7u);  // the report still goes to standard output
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(series)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"smoke.pvd", "smoke_000000.vti", "smoke_000003.vti",
                                               "smoke_000006.vti", "smoke_000007.vti"}));
    EXPECT_EQ(contents(series + "/smoke.pvd"),
              pvd_collection({{0, "smoke_000000.vti"}, {3, "smoke_000003.vti"}, {6, "smoke_000006.vti"},
                              {7, "smoke_000007.vti"}}));
    // Each file is the lattice of its step.
    auto lattice = make_world();
    EXPECT_EQ(contents(series + "/smoke_000000.vti"), vti_image(*lattice));
    for (int i = 0; i < 7; ++i) {
        lattice->advance();
    }
    EXPECT_EQ(contents(series + "/smoke_000007.vti"), vti_image(*lattice));
}

TEST(SmokeStepsVtk, AFolderThatCannotBeMadeOrWrittenIsAFailureThatLeavesNoCollection) {
    const TemporaryFolder folder;
    std::ofstream(folder / "file") << "not a folder";
    for (const std::string& bad : {folder / "file", std::string("/proc/no/such/folder")}) {
        const ProcessResult r = smoke_steps({"1", "--vtk", bad});
        EXPECT_EQ(r.status, 1) << bad;
        EXPECT_EQ(r.err.rfind("smoke-steps: cannot create the folder '" + bad + "': ", 0), 0u) << r.err;
    }
    // A full disk: the first file's writes go to /dev/full. The earlier run's collection is gone,
    // so nothing looks finished.
    const std::string series = folder / "series";
    ASSERT_EQ(smoke_steps({"2", "--vtk", series}).status, 0);
    std::filesystem::create_symlink("/dev/full", series + "/smoke_000000.vti.part");
    const ProcessResult full = smoke_steps({"2", "--vtk", series});
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err, "smoke-steps: cannot write '" + series + "/smoke_000000.vti.part': No space left on device\n");
    EXPECT_FALSE(std::filesystem::exists(series + "/smoke.pvd"));
}

TEST(SmokeStepsCsv, EveryFigureReadsBackAsTheLatticesFloatThroughOverflow) {
    const ProcessResult r = smoke_steps({"--csv", "150"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line + "\n", CSV_HEADER);
    auto lattice = make_world();
    bool saw_nan = false, saw_inf = false;
    for (long step = 1; step <= 150; ++step) {
        lattice->advance();
        for (int column = 0; column < REPORT_COLUMNS; ++column) {
            ASSERT_TRUE(std::getline(lines, line)) << step;
            const Cell& c = *lattice->planes[0]->cell(column, REPORT_ROW);
            const std::string prefix = std::to_string(step) + "," + std::to_string(column) + ",9,";
            ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
            const std::string smoke = line.substr(prefix.size(), line.find(',', prefix.size()) - prefix.size());
            const std::string population = line.substr(line.rfind(',') + 1);
            for (const auto& [text, value] : {std::pair{smoke, c.smoke}, {population, c.links[4].population}}) {
                const float back = std::strtof(text.c_str(), nullptr);
                EXPECT_TRUE(std::isnan(value) ? text == "nan" : std::memcmp(&back, &value, 4) == 0) << line;
                saw_nan = saw_nan || text == "nan";
                saw_inf = saw_inf || text == "inf" || text == "-inf";
            }
        }
    }
    EXPECT_FALSE(std::getline(lines, line));
    EXPECT_TRUE(saw_nan && saw_inf);
}

}  // namespace

// Through a shell, so that the program's standard output can be what a test cannot easily give it.
ProcessResult smoke_steps_with_output(const std::string& redirect, const std::string& args) {
    return run_process({"/bin/sh", "-c", "exec \"$0\" " + args + " " + redirect, SMOKE_STEPS});
}

TEST(SmokeSteps, AFailedWriteIsAFailure) {
    for (const std::string args : {"1000", "--help"}) {
        const ProcessResult r = smoke_steps_with_output(">/dev/full", args);
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_EQ(r.err, "smoke-steps: cannot write to standard output: No space left on device\n") << args;
    }
    // Closed: reports must not land in whatever the program opens next.
    const ProcessResult closed = smoke_steps_with_output(">&-", "2");
    EXPECT_EQ(closed.status, 1);
    EXPECT_EQ(closed.err, "smoke-steps: cannot write to standard output: Bad file descriptor\n");
}

TEST(SmokeStepsWorld, APrintedScenarioReproducesTheRunAndOptionsOverrideIt) {
    const std::vector<std::string> world = {"--size", "37x23", "--planes", "3", "--tau", "0.7", "--source", "5,22,0,1.5",
                                            "--source", "30,10,2,0.2", "--report-row", "4"};
    std::vector<std::string> run = {"60"}, print = {"--print-scenario"};
    run.insert(run.end(), world.begin(), world.end());
    print.insert(print.end(), world.begin(), world.end());
    const ProcessResult direct = smoke_steps(run), printed = smoke_steps(print);
    ASSERT_EQ(printed.status, 0) << printed.err;
    EXPECT_NE(printed.out.find("[world]\ncolumns = 37\nrows = 23\nplanes = 3\ntau = 0.7\n"), std::string::npos);
    const std::string path = (std::filesystem::temp_directory_path() / ("scenario-" + std::to_string(getpid()) + ".toml"));
    std::ofstream(path) << printed.out;
    const ProcessResult from_file = smoke_steps({"60", "--scenario", path});
    const ProcessResult overridden = smoke_steps({"60", "--scenario", path, "--tau", "0.56"});
    std::filesystem::remove(path);
    ASSERT_EQ(direct.status, 0) << direct.err;
    EXPECT_EQ(count_reports(direct.out), 60u);
    EXPECT_NE(direct.out.find("Lattice 9: 0.0"), std::string::npos);  // ten columns of row 4
    EXPECT_EQ(direct.out.find("Lattice 9: 0.000000 / 0.000000\n\n", direct.out.size() - 40), std::string::npos);
    EXPECT_EQ(from_file.out, direct.out);
    EXPECT_NE(overridden.out, direct.out);
}
