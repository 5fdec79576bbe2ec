#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "testing.h"
#include "vtk_xml.h"

namespace {

constexpr const char* USAGE =
    "usage: smoke-steps [STEPS] [--vtk DIR] [--every K] [--csv | --probe X,Y,PLANE ...] [--until-nonfinite] "
    "[--threads N] [world options]";

TEST(SmokeSteps, RunsOneStepByDefaultAndHelpGoesToStandardOutput) {
    const ProcessResult help = smoke_steps({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(help.out.rfind(std::string(USAGE) + "\n", 0), 0u);
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
    std::string dotted;  // a key 20,000 tables deep: the TOML parser's recursion would overflow the stack
    for (int i = 0; i < 20000; ++i) dotted += "a.";
    const std::string deep = scenario("deep.toml", dotted + "b = 1\n");
    const std::string odd_key = scenario("odd.toml", "\"a\\nb\" = 1\n");
    const std::string outside = scenario("outside.toml", "[world]\ncolumns = 20\n[[source]]\ncolumn = 1\nrow = 1\n\n"
                                                         "[[source]]\ncolumn = 20\n");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"abc"}, range + "'abc'"},
        {{"-1"}, range},
        {{"1000000001"}, range},
        {{std::string(100000, '9')}, range + "'" + std::string(60, '9') + "...'\n"},
        {{"--steps"}, "unexpected argument '--steps'"},
        {{"1", "2"}, "unexpected argument '2'"},
        {{"0", "--size", "5", "aa", "bb", "cc"}, "unexpected arguments 'aa' 'bb' 'cc'\n"},  // in the order given
        {{"--vtk"}, "--vtk needs a value"},
        {{"3", "--vtk", "--csv"}, "--vtk needs a folder, not '--csv'"},  // an empty variable in a script
        {{"--vtk", ""}, "--vtk needs the name of a folder"},
        {{"--vtk", "a", "--vtk", "b"}, "--vtk is given more than once"},
        {{"--csv", "--csv"}, "--csv is given more than once"},
        {{"--csv=false"}, "--csv takes no value"},
        {{"--every", "0", "--vtk", "d"}, "K must be a whole number from 1"},
        {{"--every", "2"}, "--every applies to --vtk"},
        {{"--probe", "1,1,0", "--csv"}, "--probe prints its own CSV: it cannot go with --csv"},
        {{"--probe", "1,50,0"}, "--probe '1,50,0': Y must be 0 to 49 in the 50 x 50 x 1 world, not '50'"},
        {{"--probe", "1,1"}, "--probe '1,1': must be X,Y,PLANE"},
        {{"--probe", "1,1,1"}, "--probe '1,1,1': PLANE must be 0 in the 50 x 50 x 1 world, not '1'"},
        {{"--threads", "0"}, "--threads must be a whole number from 1 to 256, not '0'"},
        {{"--threads", "257"}, "--threads must be a whole number from 1 to 256, not '257'"},
        {{"--threads", "1.5"}, "--threads must be a whole number from 1 to 256, not '1.5'"},
        {{"--threads", "1", "--threads", "2"}, "--threads is given more than once"},
        // The world: each refusal names the option, or the file, line and key.
        {{"--size", "0"}, "--size must be a whole number from 1 to 2147483647, not '0'"},
        {{"--planes", "99999999999"}, "--planes must be a whole number from 1 to 2147483647, not '99999999999'"},
        {{"--tau", "0"}, "--tau must be a finite number above 0, not '0'"},
        {{"--tau", "1e39"}, "--tau must fit in a 32-bit float"},
        {{"--tau", "1e-46"}, "--tau rounds to 0 as a 32-bit float, and must be a finite number above 0"},
        {{"--speed", "-0.5"}, "--speed must be a finite number of at least 0"},
        {{"--source", "1,2,3"}, "--source '1,2,3': must be X,Y,PLANE,SMOKE"},
        {{"--source", "0,0,0,inf"}, "SMOKE must be a finite number"},
        {{"--source", "0,0,1,1"}, "--source '0,0,1,1': PLANE must be 0 in the 50 x 50 x 1 world, not '1'"},
        {{"--size", "10"}, "the default source 25,49,0,0.42 lies outside the 10 x 10 x 1 world"},
        {{"--size", "30x5", "--source", "1,1,0,1"}, "the default report row 9 lies outside the 30 x 5 x 1 world"},
        {{"--report-row", "50"}, "--report-row must be a row of the world, 0 to 49, not '50'"},
        {{"--size", "200000"}, "the 200000 x 200000 x 1 world needs 19.6 TB of memory, and "},  // 488 bytes a cell, 19.52 TB rounded up
        {{"--size", "2147483647", "--planes", "2147483647"}, "needs more memory than can be counted"},
        {{"--scenario", folder / "none.toml"}, "cannot read the scenario '" + folder / "none.toml"},
        {{"--scenario", bad_key}, bad_key + ":3: unknown key 'row' in [world]"},
        {{"--scenario", bad_toml}, bad_toml + ":3: "},
        {{"--scenario", bad_type}, bad_type + ":2: planes must be a whole number"},
        {{"--scenario", outside}, outside + ":8: source column must be 0 to 19 in the 20 x 50 x 1 world"},
        {{"--scenario", deep}, "is larger than 32 KB, too large for a scenario"},
        {{"--scenario", odd_key}, odd_key + ":1: unknown key 'a\\nb'"},
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

TEST(SmokeStepsVtk, WritesTheSeededStateEveryKthStepAndTheLastListedInTheCollection) {
    const TemporaryFolder folder;
    const std::string series = folder / "new/series";  // created, parents included
    const ProcessResult r = smoke_steps({"--every", "3", "7", "--vtk", series});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(count_reports(r.out), 7u);  // the report still goes to standard output
    EXPECT_EQ(names_in(series), (std::vector<std::string>{"scenario.toml", "smoke.pvd", "smoke_000000.vti",
                                                          "smoke_000003.vti", "smoke_000006.vti", "smoke_000007.vti"}));
    EXPECT_EQ(contents(series + "/smoke.pvd"),
              "<?xml version=\"1.0\"?>\n"
              "<VTKFile type=\"Collection\" version=\"1.0\">\n"
              "  <Collection>\n"
              "    <DataSet timestep=\"0\" part=\"0\" file=\"smoke_000000.vti\"/>\n"
              "    <DataSet timestep=\"3\" part=\"0\" file=\"smoke_000003.vti\"/>\n"
              "    <DataSet timestep=\"6\" part=\"0\" file=\"smoke_000006.vti\"/>\n"
              "    <DataSet timestep=\"7\" part=\"0\" file=\"smoke_000007.vti\"/>\n"
              "  </Collection>\n"
              "</VTKFile>\n");
    // Each file is the lattice of its step.
    auto lattice = make_world();
    EXPECT_EQ(contents(series + "/smoke_000000.vti"), vti_image(*lattice, 0));
    for (int i = 0; i < 7; ++i) lattice->advance();
    EXPECT_EQ(contents(series + "/smoke_000007.vti"), vti_image(*lattice, 7));
}

TEST(SmokeStepsVtk, TheFolderHoldsTheScenarioThatRemakesItsFiles) {
    const TemporaryFolder folder;
    const std::string a = folder / "a", b = folder / "b";
    ASSERT_EQ(smoke_steps({"4", "--vtk", a, "--size", "6x4", "--planes", "3", "--tau", "0.7", "--source", "2,3,1,0.3",
                           "--report-row", "1"}).status, 0);
    ASSERT_EQ(smoke_steps({"4", "--vtk", b, "--scenario", a + "/scenario.toml"}).status, 0);
    const std::string last = contents(a + "/smoke_000004.vti");
    EXPECT_NE(last.find(" WholeExtent=\"0 6 0 4 0 3\" "), std::string::npos);
    EXPECT_EQ(contents(b + "/smoke_000004.vti"), last);
    EXPECT_EQ(contents(b + "/smoke_000001.vti"), contents(a + "/smoke_000001.vti"));
}

TEST(SmokeStepsVtk, ARerunReplacesTheEarlierSeriesAndWritesThroughNoPlantedLink) {
    const TemporaryFolder folder;
    const std::string series = folder / "series", victim = folder / "victim";
    std::ofstream(victim) << "precious";
    ASSERT_EQ(smoke_steps({"7", "--vtk", series}).status, 0);
    std::ofstream(series + "/smoke_000008.vti.0badc0de.part") << "what a kill leaves";
    std::filesystem::create_symlink(victim, series + "/smoke_000000.vti.part");
    std::filesystem::create_hard_link(victim, series + "/smoke.pvd.part");
    const ProcessResult r = smoke_steps({"2", "--vtk", series});
    ASSERT_EQ(r.status, 0) << r.err;
    // Only what a run of this program leaves goes: the planted links are not its files.
    EXPECT_EQ(r.err, "smoke-steps: removed 1 unfinished file that an interrupted run left in '" + series + "'\n");
    EXPECT_EQ(contents(victim), "precious");
    EXPECT_EQ(names_in(series),
              (std::vector<std::string>{"scenario.toml", "smoke.pvd", "smoke.pvd.part", "smoke_000000.vti",
                                        "smoke_000000.vti.part", "smoke_000001.vti", "smoke_000002.vti"}));
}

// The steps the collection in folder lists, each with its file there; a failure unless it is whole.
std::vector<long> listed_in(const std::string& folder) {
    const std::string text = contents(folder + "/smoke.pvd");
    for (std::size_t at = 0; (at = text.find("file=\"", at)) != std::string::npos; at += 6)
        EXPECT_TRUE(std::filesystem::exists(folder + "/" + text.substr(at + 6, text.find('"', at + 6) - at - 6)));
    return listed_steps(text);
}

std::vector<long> steps_to(long last) {
    std::vector<long> steps(std::size_t(last + 1));
    for (long i = 0; i <= last; ++i) steps[std::size_t(i)] = i;
    return steps;
}

std::vector<std::string> tiny_world(const std::string& steps, const std::string& folder) {
    return {SMOKE_STEPS, steps, "--vtk", folder, "--size", "3", "--source", "1,1,0,1", "--report-row", "0"};
}

TEST(SmokeStepsVtk, AFailureOrAKillInTheMiddleLeavesTheStepsFinishedAndTheNextRunClearsUp) {
    const TemporaryFolder folder;
    // The collection outgrows a file size limit (8 or 16 KB) long before the last step; the files do not.
    const std::string limited = folder / "limited";
    std::vector<std::string> args = tiny_world("5000", limited);
    args.insert(args.begin(), {"/bin/sh", "-c", "ulimit -f 16 && exec \"$0\" \"$@\" >/dev/null"});
    const ProcessResult r = run_process(args);
    EXPECT_EQ(r.status, 1);  // not killed by SIGXFSZ
    EXPECT_EQ(r.err, "smoke-steps: cannot write '" + limited + "/smoke.pvd': File too large\n");
    const std::vector<long> finished = listed_in(limited);
    EXPECT_GT(finished.size(), 10u);
    EXPECT_EQ(finished, steps_to(long(finished.size()) - 1));
    EXPECT_EQ(names_in(limited).size(), finished.size() + 3);  // and the unlisted file of the next step

    const std::string killed = folder / "killed";
    ChildProcess run(tiny_world("1000000000", killed), {});
    const std::string step_300 = killed + "/smoke_0000000300.vti";  // digits for the last step
    ASSERT_TRUE(run.read_until([&](const std::string&) { return std::filesystem::exists(step_300); }, Seconds(60)));
    kill(run.pid, SIGKILL);
    ASSERT_EQ(run.wait_exit(Seconds(10)), 128 + SIGKILL);
    const std::vector<long> listed = listed_in(killed);
    EXPECT_EQ(listed, steps_to(long(listed.size()) - 1));
    EXPECT_GE(listed.size(), 300u);

    const ProcessResult next = run_process(tiny_world("1", killed));
    EXPECT_EQ(next.status, 0);
    EXPECT_EQ(names_in(killed), (std::vector<std::string>{"scenario.toml", "smoke.pvd", "smoke_000000.vti", "smoke_000001.vti"}));
}

TEST(SmokeStepsVtk, AFolderBelongsToOneRunAtATime) {
    const TemporaryFolder folder;
    const std::string series = folder / "series";
    ChildProcess first({SMOKE_STEPS, "1000000000", "--every", "1000000000", "--vtk", series}, {});
    ASSERT_TRUE(wait_until([&] { return std::filesystem::exists(series + "/smoke.pvd"); }, Seconds(60)));
    const ProcessResult second = smoke_steps({"0", "--vtk", series});
    EXPECT_EQ(second.status, 1);
    EXPECT_EQ(second.err, "smoke-steps: the folder '" + series + "' is in use by another run\n");
    EXPECT_FALSE(first.wait_exit(Seconds(0)));  // still running, its files untouched
    EXPECT_EQ(listed_in(series), std::vector<long>{0});
}

TEST(SmokeStepsVtk, AFolderThatCannotBeMadeOrWrittenIsAFailureThatLeavesNoCollection) {
    const TemporaryFolder folder;
    std::ofstream(folder / "file") << "not a folder";
    for (const std::string& bad : {folder / "file", std::string("/proc/no/such/folder")}) {
        const ProcessResult r = smoke_steps({"1", "--vtk", bad});
        EXPECT_EQ(r.status, 1) << bad;
        EXPECT_EQ(r.err.rfind("smoke-steps: cannot create the folder '" + bad + "': ", 0), 0u) << r.err;
    }
    // Names said on one line: a newline escaped, 4 KB cut short.
    const ProcessResult newline = smoke_steps({"1", "--vtk", "/proc/no\nsuch"});
    EXPECT_EQ(newline.err, "smoke-steps: cannot create the folder '/proc/no\\nsuch': No such file or directory\n");
    const ProcessResult huge = smoke_steps({"1", "--vtk", "/proc/" + std::string(4000, 'x')});
    EXPECT_EQ(huge.status, 1);
    EXPECT_EQ(std::count(huge.err.begin(), huge.err.end(), '\n'), 1) << huge.err;
    EXPECT_LT(huge.err.size(), 300u);
    // A full disk, as a file size limit makes it: the earlier run's collection is gone, so nothing
    // looks finished, and the unfinished file too.
    const std::string series = folder / "series";
    ASSERT_EQ(smoke_steps({"2", "--vtk", series}).status, 0);
    const ProcessResult full = run_process({"/bin/sh", "-c", "ulimit -f 64 && exec \"$0\" 2 --vtk \"$1\"", SMOKE_STEPS, series});
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err, "smoke-steps: cannot write '" + series + "/smoke_000000.vti': File too large\n");
    EXPECT_EQ(names_in(series), std::vector<std::string>{"scenario.toml"});
}

// A scenario.toml in the folder that no run of this program wrote is the user's: the run is refused
// and the folder left as it was (which files count as a series' own: VtkSeries' tests).
TEST(SmokeStepsVtk, AHandWrittenScenarioInTheFolderIsKeptAndTheRunRefused) {
    const TemporaryFolder folder;
    const std::string series = folder / "series", mine = "# my world, kept by hand\n[world]\ncolumns = 50\n";
    std::filesystem::create_directory(series);
    std::ofstream(series + "/scenario.toml") << mine;
    const ProcessResult r = smoke_steps({"2", "--vtk", series, "--tau", "0.7"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "smoke-steps: '" + series +
                         "/scenario.toml' is not a scenario that smoke-steps wrote for a series there: it is kept, and "
                         "nothing was written (move it, or choose another folder)\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(contents(series + "/scenario.toml"), mine);
    EXPECT_EQ(names_in(series), std::vector<std::string>{"scenario.toml"});

}

// Said as it is: a folder that cannot be written, a link that leads nowhere.
TEST(SmokeStepsVtk, AFolderThatCannotBeUsedIsNamedForWhatIsWrong) {
    const TemporaryFolder folder;
    std::filesystem::permissions(folder.path, std::filesystem::perms::others_read | std::filesystem::perms::others_exec,
                                 std::filesystem::perm_options::add);
    const std::string locked = folder / "locked";
    std::filesystem::create_directory(locked);
    std::filesystem::permissions(locked, std::filesystem::perms::owner_write | std::filesystem::perms::group_write |
                                             std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove);
    // Permissions do not hold back the superuser: run as nobody then.
    std::vector<std::string> args = {SMOKE_STEPS, "1", "--vtk", locked};
    if (geteuid() == 0) args.insert(args.begin(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    const ProcessResult unwritable = run_process(args);
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_EQ(unwritable.err, "smoke-steps: cannot write into the folder '" + locked + "': Permission denied\n");

    const std::string link = folder / "link";
    std::filesystem::create_symlink(folder / "gone", link);
    for (const std::string& target : {link, link + "/series"}) {
        const ProcessResult dangling = smoke_steps({"1", "--vtk", target});
        EXPECT_EQ(dangling.status, 1);
        EXPECT_EQ(dangling.err, "smoke-steps: cannot create the folder '" + target + "': '" + link + "' is a link to '" +
                                    folder / "gone" + "', which does not exist\n");
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "gone"));
}

// The CSV of a run of lattice for steps steps: each row's cell and figures read back as the
// lattice's own floats, step by step; whether it showed nan and inf.
std::pair<bool, bool> expect_csv_of(const std::string& csv, Lattice& lattice, long steps, int report_row) {
    std::istringstream lines(csv);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "step,column,row,smoke,population_4");
    const int columns = std::min(REPORT_COLUMNS, int(lattice.planes[0]->columns));
    bool saw_nan = false, saw_inf = false;
    for (long step = 1; step <= steps; ++step) {
        lattice.advance();
        for (int column = 0; column < columns; ++column) {
            if (!std::getline(lines, line)) {
                ADD_FAILURE() << "no row for step " << step;
                return {saw_nan, saw_inf};
            }
            const Cell& c = *lattice.cell(column, report_row, 0);
            const std::string prefix = std::to_string(step) + "," + std::to_string(column) + "," +
                                       std::to_string(report_row) + ",";
            EXPECT_EQ(line.rfind(prefix, 0), 0u) << line;
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
    EXPECT_FALSE(std::getline(lines, line)) << line;
    return {saw_nan, saw_inf};
}

TEST(SmokeStepsCsv, EveryFigureReadsBackAsTheLatticesFloatThroughOverflow) {
    const ProcessResult r = smoke_steps({"--csv", "150"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto lattice = make_world();
    EXPECT_EQ(expect_csv_of(r.out, *lattice, 150, REPORT_ROW), std::make_pair(true, true));

    // Another world: its report row, and only the four columns it has.
    const ProcessResult other = smoke_steps({"--csv", "40", "--size", "4x12", "--planes", "2", "--source", "1,11,1,1",
                                             "--report-row", "3"});
    ASSERT_EQ(other.status, 0) << other.err;
    lattice = make_world(world_of(4, 12, 2, {{1, 11, 1, 1.0f}}, 3));
    expect_csv_of(other.out, *lattice, 40, 3);
    EXPECT_NE(other.out.find("\n20,0,3,547411776,0\n20,1,3,1066899200,0\n20,2,3,1044579968,0\n20,3,3,481436608,0\n"),
              std::string::npos);
    EXPECT_NE(other.out.find("\n40,3,3,8.8232216e+20,0\n"), std::string::npos);  // smoke has arrived
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
    // What the command line overrides is not even read: a bad value there is no fault.
    std::ofstream(path) << "[world]\ntau = -1\n\n[[source]]\ncolumn = 999\n";
    const ProcessResult bad_but_overridden = smoke_steps({"40", "--scenario", path, "--tau", "0.56", "--source", "25,49,0,0.42"});
    std::filesystem::remove(path);
    EXPECT_EQ(bad_but_overridden.out, smoke_steps({"40"}).out) << bad_but_overridden.err;
    ASSERT_EQ(direct.status, 0) << direct.err;
    EXPECT_EQ(count_reports(direct.out), 60u);
    EXPECT_NE(direct.out.find("Lattice 9: 0.0"), std::string::npos);  // ten columns of row 4
    EXPECT_EQ(direct.out.find("Lattice 9: 0.000000 / 0.000000\n\n", direct.out.size() - 40), std::string::npos);
    EXPECT_EQ(from_file.out, direct.out);
    EXPECT_NE(overridden.out, direct.out);
}

// Threads change the speed of a run, never its figures: every count prints the same bytes, through
// overflow into inf and nan, in a world whose rows and planes do not divide evenly among them.
TEST(SmokeStepsThreads, EveryCountPrintsTheSameFiguresAndAScenarioHoldsNone) {
    const std::vector<std::string> demo = {"70", "--csv", "--size", "23x17", "--planes", "3", "--tau", "0.53",
                                           "--source", "11,8,1,4", "--source", "0,16,2,1e30", "--report-row", "8"};
    const std::vector<std::string> fluid = {"120", "--csv", "--model", "fluid", "--size", "31x19", "--planes", "3",
                                            "--boundary", "top=wall:0.1,0,0", "--boundary", "bottom=wall",
                                            "--obstacle", "disc:12,9,3", "--buoyancy", "0.001", "--source",
                                            "5,5,1,0.3", "--puff", "20,10,2,2", "--report-row", "9"};
    for (const auto& world : {demo, fluid}) {
        std::string one;
        for (const char* threads : {"1", "2", "3", "7"}) {
            std::vector<std::string> args = world;
            args.insert(args.end(), {"--threads", threads});
            const ProcessResult r = smoke_steps(args);
            ASSERT_EQ(r.status, 0) << r.err;
            if (one.empty()) {
                one = r.out;
                EXPECT_GT(std::count(one.begin(), one.end(), '\n'), 700);
            } else {
                EXPECT_EQ(r.out, one) << threads << " threads";
            }
        }
        EXPECT_EQ(smoke_steps(world).out, one) << "the default count";
    }
    const ProcessResult printed = smoke_steps({"--print-scenario", "--threads", "2"});
    ASSERT_EQ(printed.status, 0) << printed.err;
    EXPECT_EQ(printed.out, smoke_steps({"--print-scenario"}).out);
    EXPECT_EQ(printed.out.find("thread"), std::string::npos);
}

// The count reaches each model's step: OpenMP, asked to, names the size of each team it forms. A
// 64 x 64 x 8 fluid has cells enough for four threads, and a demonstration of 100 rows has rows enough
// for three; on one thread neither step forms a team.
TEST(SmokeStepsThreads, TheCountReachesEachModelsStep) {
    const std::vector<std::string> fluid = {"--model", "fluid", "--size", "64x64", "--planes", "8"};
    const std::vector<std::string> demo = {"--size", "50x100"};
    for (const auto& world : {fluid, demo}) {
        const auto teams = [&world](const char* threads) {
            std::vector<std::string> args = {SMOKE_STEPS, "2", "--threads", threads};
            args.insert(args.end(), world.begin(), world.end());
            const ProcessResult r =
                run_process(args, {"OMP_DISPLAY_AFFINITY=TRUE", "OMP_AFFINITY_FORMAT=team of %N"});
            EXPECT_EQ(r.status, 0) << r.err;
            return r.err;
        };
        EXPECT_NE(teams("3").find("team of 3\n"), std::string::npos) << world[1];
        EXPECT_EQ(teams("1"), "") << world[1];
    }
}

TEST(SmokeStepsWorld, AWorldTooLargeForThisMachineStillPrints) {
    const ProcessResult r = smoke_steps({"--print-scenario", "--size", "200000"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("[world]\ncolumns = 200000\nrows = 200000\n", 0), 0u) << r.out;
}

TEST(SmokeStepsWorld, TheMemoryCheckCountsTheFilesBytesWithinAnAddressSpaceLimit) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves far more address space than the limit";
#endif
    // 750 x 750 cells take 274.5 MB, their .vti file 49.5 MB more: under a limit of 300,000 KB
    // (307.2 MB, less what the program maps at its start) the run fits only without the file.
    const TemporaryFolder folder;
    const auto limited = [&](const std::string& args) {
        return run_process({"/bin/sh", "-c", "ulimit -v 300000 && exec \"$0\" 0 --size 750 " + args, SMOKE_STEPS,
                            folder / "series"});
    };
    const ProcessResult with_file = limited("--vtk \"$1\"");
    EXPECT_EQ(with_file.status, 2);
    EXPECT_EQ(with_file.err.rfind("smoke-steps: the 750 x 750 x 1 world needs 324.0 MB of memory, and ", 0), 0u)
        << with_file.err;
    EXPECT_FALSE(std::filesystem::exists(folder / "series"));
    const ProcessResult without = limited("");
    EXPECT_EQ(without.status, 0) << without.err;
}

// The step whose report first holds a figure that is not 0, and the first whose report holds one
// that is not finite, from smoke-steps --csv; 0 for none.
std::pair<long, long> report_steps(const std::string& csv) {
    std::istringstream lines(csv);
    std::string line;
    std::getline(lines, line);  // the header
    long wakes = 0, breaks = 0;
    while (std::getline(lines, line)) {
        const long step = std::stol(line);
        const std::string smoke = line.substr(line.find(',', line.find(',', line.find(',') + 1) + 1) + 1);
        for (const std::string& figure : {smoke.substr(0, smoke.find(',')), line.substr(line.rfind(',') + 1)}) {
            const double value = std::strtod(figure.c_str(), nullptr);
            if (!wakes && value != 0) wakes = step;
            if (!breaks && !std::isfinite(value)) breaks = step;
        }
    }
    return {wakes, breaks};
}

TEST(SmokeStepsWorld, TheExampleScenariosDoWhatTheReadmeSays) {
    struct Claim {
        const char* scenario;
        long wakes, report_breaks, world_breaks;
    };
    const std::vector<Claim> claims = {
        {"default", 39, 139, 139},     {"two-sources", 4, 139, 139}, {"wide-sheet", 79, 145, 139},
        {"block", 21, 58, 54},         {"slow-relaxation", 39, 218, 218},
    };
    for (const Claim& c : claims) {
        const std::string file = std::string(SMOKE_SCENARIOS) + "/" + c.scenario + ".toml";
        const ProcessResult csv = smoke_steps({"250", "--csv", "--scenario", file});
        ASSERT_EQ(csv.status, 0) << c.scenario << ": " << csv.err;
        EXPECT_EQ(report_steps(csv.out), std::make_pair(c.wakes, c.report_breaks)) << c.scenario;
        const ProcessResult until = smoke_steps({"250", "--until-nonfinite", "--scenario", file});
        const std::string said = "smoke-steps: step " + std::to_string(c.world_breaks) + " made the first value";
        EXPECT_EQ(until.err.rfind(said, 0), 0u) << c.scenario << ": " << until.err;
    }
}
