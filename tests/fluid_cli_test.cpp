// The fluid through the programs' options, scenario files and smoke-steps; and the demonstration's
// outputs untouched by the choice of model.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "common/scenario_file.h"
#include "common/world_options.h"
#include "harness/process.h"

namespace {

namespace fs = std::filesystem;

struct TempFile {
    std::string path;
    explicit TempFile(const std::string& text) {
        path = (fs::temp_directory_path() / "fluid-scenario.XXXXXX").string();
        const int fd = mkstemp(path.data());
        if (fd < 0) throw std::runtime_error("cannot make a file in " + path);
        close(fd);
        std::ofstream(path) << text;
    }
    ~TempFile() { fs::remove(path); }
};

struct TempFolder {
    std::string path;
    TempFolder() {
        path = (fs::temp_directory_path() / "fluid-series.XXXXXX").string();
        if (!mkdtemp(path.data())) throw std::runtime_error("cannot make a folder in " + path);
    }
    ~TempFolder() { fs::remove_all(path); }
};

// The scenario a command line makes, only to be printed (so no memory check), or its problem.
std::optional<Scenario> scenario_of(std::vector<std::string> args, std::string& problem) {
    CLI::App app;
    WorldOptions options(app);
    args.insert(args.begin(), "--print-scenario");
    args.insert(args.begin(), "test");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    app.parse(int(argv.size()), argv.data());
    return options.scenario(problem);
}

ProcessResult smoke_steps(std::vector<std::string> args) {
    args.insert(args.begin(), SMOKE_STEPS);
    return run_process(args);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(FluidOptions, EachWrongSettingIsRefusedNamingIt) {
    const TempFile moving_periodic("[world]\nmodel = \"fluid\"\n[boundary]\ntop = { kind = \"periodic\", velocity = [0.1, 0.0, 0.0] }\n");
    const TempFile unknown_face("[world]\nmodel = \"fluid\"\n[boundary]\nceiling = { kind = \"wall\" }\n");
    const TempFile box_in_file("[world]\nmodel = \"fluid\"\n\n[[obstacle]]\nshape = \"box\"\ncolumns = [3]\nrows = [1, 2]\n");
    const TempFile demo_force("[world]\nforce = [0.0, 1e-5, 0.0]\n");
    const TempFile fluid_speed("[world]\nmodel = \"fluid\"\nspeed = 0.5\n");
    const TempFile puff_missing("[world]\nmodel = \"fluid\"\n\n[[puff]]\ncolumn = 3\nrow = 3\nsmoke = 1.0\n");
    const std::string f = "--model=fluid";
    const struct {
        std::vector<std::string> args;
        std::string problem;
    } cases[] = {
        {{f, "--tau", "0.5"}, "--tau must be a finite number above 0.5 for the fluid, not '0.5'"},
        {{f, "--diffusivity", "0"}, "--diffusivity must be a finite number above 0, not '0'"},
        {{f, "--diffusivity", "inf"}, "--diffusivity must be a finite number above 0, not 'inf'"},
        {{f, "--speed", "0.3"}, "--speed applies only to the demonstration model"},
        {{f, "--boundary", "top=wall", "--boundary", "top=inflow:0,0,0"}, "--boundary names the top face twice"},
        {{f, "--boundary", "roof=wall"},
         "--boundary 'roof=wall' must be FACE=KIND[:UX,UY,UZ] with a face left, right, bottom, top, front or back"},
        {{f, "--boundary", "top=sticky"}, "--boundary 'top=sticky': kind must be periodic, wall, inflow or outflow, not 'sticky'"},
        {{f, "--boundary", "top=wall"}, "--boundary 'top=wall': bottom face must not be periodic when the top face is not"},
        {{f, "--boundary", "left=periodic", "--boundary", "right=outflow"},
         "--boundary 'left=periodic': left face must not be periodic when the right face is not"},
        {{f, "--boundary", "left=inflow", "--boundary", "right=outflow"},
         "--boundary 'left=inflow': left face must have a velocity as an inflow"},
        {{f, "--boundary", "left=inflow:0.3,0.4,0", "--boundary", "right=outflow"},
         "--boundary 'left=inflow:0.3,0.4,0': left face velocity must be below 0.5 in magnitude"},
        {{f, "--boundary", "front=wall", "--boundary", "back=wall"},
         "--boundary 'front=wall': front face must be periodic in a world of one plane"},
        {{f, "--flow", "0,0.5,0"}, "--flow must be below 0.5 in magnitude, not '0,0.5,0'"},
        {{f, "--flow", "0.1,0"}, "--flow must be X,Y,Z, not '0.1,0'"},
        {{f, "--force", "1e-5,x,0"}, "--force '1e-5,x,0': FY must be a number, not 'x'"},
        {{f, "--taylor-green", "-0.5"}, "--taylor-green must be below 0.5 in magnitude, not '-0.5'"},
        {{f, "--buoyancy", "nan"}, "--buoyancy must be finite, not 'nan'"},
        {{f, "--obstacle", "disc:50,10,3"},
         "--obstacle 'disc:50,10,3': disc centre must lie in the world, columns 0 to 49 and rows 0 to 49"},
        {{f, "--obstacle", "disc:10,10,0"}, "--obstacle 'disc:10,10,0': disc radius must be above 0"},
        {{f, "--obstacle", "box:5,5,4,9"}, "--obstacle 'box:5,5,4,9': box columns must be in order within 0 to 49"},
        {{f, "--obstacle", "ring:1,2,3"}, "--obstacle 'ring:1,2,3' must be disc:X,Y,R or box:X0,Y0,X1,Y1"},
        {{f, "--obstacle", "disc:25,47,3"}, "the default source 25,49,0,0.42 lies on an obstacle"},
        {{f, "--source", "10,10,0,1", "--obstacle", "box:8,8,12,12"}, "--source 10,10,0,1 lies on an obstacle"},
        {{f, "--puff", "10,10,0,1", "--obstacle", "box:8,8,12,12"}, "--puff 10,10,0,1 lies on an obstacle"},
        {{f, "--puff", "10,50,0,1"}, "--puff '10,50,0,1': Y must be 0 to 49 in the 50 x 50 x 1 world, not '50'"},
        {{f, "--size", "60x40", "--source", "1,1,0,1", "--puff", "10,45,0,1"},
         "--puff '10,45,0,1': Y must be 0 to 39 in the 60 x 40 x 1 world, not '45'"},
        {{f, "--size", "60x40", "--report-row", "0", "--source", "55,39,0,1", "--obstacle", "disc:58,39.5,3"},
         "--obstacle 'disc:58,39.5,3': disc centre must lie in the world, columns 0 to 59 and rows 0 to 39"},
        {{"--force", "1,0,0"}, "--force applies only to the fluid model"},
        {{"--boundary", "top=wall"}, "--boundary 'top=wall' applies only to the fluid model"},
        {{"--puff", "1,1,0,1"}, "--puff applies only to the fluid model"},
        {{"--model", "water"}, "--model must be demo or fluid, not 'water'"},
        {{"--scenario", moving_periodic.path},
         moving_periodic.path + ":4: boundary top: top face takes a velocity only as a wall or an inflow"},
        {{"--scenario", unknown_face.path},
         unknown_face.path + ":4: unknown key 'ceiling' in [boundary] (faces are left, right, bottom, top, front, back)"},
        {{"--scenario", box_in_file.path}, box_in_file.path + ":6: obstacle columns must be an array of two whole numbers"},
        {{"--scenario", demo_force.path}, demo_force.path + ":2: force applies only to the fluid model"},
        {{"--scenario", fluid_speed.path}, fluid_speed.path + ":3: speed applies only to the demonstration model"},
        {{"--scenario", puff_missing.path}, puff_missing.path + ":4: puff needs a plane"},
    };
    for (const auto& c : cases) {
        std::string problem;
        std::string line;
        for (const std::string& a : c.args) line += a + " ";
        EXPECT_FALSE(scenario_of(c.args, problem)) << line;
        EXPECT_EQ(problem, c.problem) << line;
    }
}

TEST(FluidOptions, APrintedScenarioReadsBackBitForBit) {
    std::string problem;
    const std::optional<Scenario> given = scenario_of(
        {"--model", "fluid", "--size", "40x30", "--planes", "3", "--tau", "0.6", "--diffusivity", "0.1",
         "--force", "3.3333333333333335e-08,0,-1e-9", "--buoyancy", "0.0007", "--flow", "0.1,-0.2,0.3",
         "--taylor-green", "0.01", "--boundary", "left=inflow:0.05,0,0", "--boundary", "right=outflow",
         "--boundary", "top=wall:0.1,0,0", "--boundary", "bottom=wall", "--obstacle", "disc:10.5,15,4.25",
         "--obstacle", "box:30,2,33,6", "--source", "2,3,1,0.1", "--puff", "20,20,2,0.3"},
        problem);
    ASSERT_TRUE(given) << problem;
    // The values as decimals read them, an oracle apart from the options' reading.
    const fluid::Setup& f = given->fluid;
    EXPECT_EQ(f.force.x, 3.3333333333333335e-08);
    EXPECT_EQ(f.force.z, -1e-9);
    EXPECT_EQ(f.flow.y, -0.2);
    EXPECT_EQ(f.buoyancy, 0.0007);
    EXPECT_EQ(f.faces[int(fluid::Face::left)].kind, fluid::Kind::inflow);
    EXPECT_EQ(f.faces[int(fluid::Face::left)].velocity->x, 0.05);
    EXPECT_EQ(f.faces[int(fluid::Face::top)].velocity->x, 0.1);
    EXPECT_FALSE(f.faces[int(fluid::Face::bottom)].velocity);
    EXPECT_EQ(f.faces[int(fluid::Face::front)].kind, fluid::Kind::periodic);
    ASSERT_EQ(f.discs.size(), 1u);
    EXPECT_EQ(f.discs[0].radius, 4.25);
    ASSERT_EQ(f.boxes.size(), 1u);
    EXPECT_EQ(f.boxes[0].y1, 6);
    ASSERT_EQ(f.puffs.size(), 1u);
    EXPECT_EQ(f.puffs[0].smoke, 0.3f);

    const std::string text = scenario_text(*given);
    const TempFile file(text);
    const std::optional<Scenario> read = scenario_of({"--scenario", file.path}, problem);
    ASSERT_TRUE(read) << problem << "\n" << text;
    EXPECT_EQ(scenario_text(*read), text);
    const fluid::Setup& r = read->fluid;
    EXPECT_EQ(read->model, ModelKind::fluid);
    EXPECT_EQ(std::memcmp(&r.force, &f.force, sizeof f.force), 0);
    EXPECT_EQ(std::memcmp(&r.flow, &f.flow, sizeof f.flow), 0);
    EXPECT_EQ(r.diffusivity, f.diffusivity);
    EXPECT_EQ(r.taylor_green, f.taylor_green);
    ASSERT_EQ(r.discs.size(), 1u);
    EXPECT_EQ(r.discs[0].x, 10.5);
    EXPECT_EQ(r.discs[0].y, 15.0);
    EXPECT_EQ(r.discs[0].radius, 4.25);
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].x0, 30);
    EXPECT_EQ(r.boxes[0].y0, 2);
    EXPECT_EQ(r.boxes[0].x1, 33);
    EXPECT_EQ(r.boxes[0].y1, 6);
    ASSERT_EQ(r.puffs.size(), 1u);
    EXPECT_EQ(r.puffs[0].column, 20);
    EXPECT_EQ(r.puffs[0].row, 20);
    EXPECT_EQ(r.puffs[0].plane, 2);
    EXPECT_EQ(r.puffs[0].smoke, 0.3f);
    EXPECT_EQ(r.buoyancy, 0.0007);
    for (int face = 0; face < fluid::FACE_COUNT; ++face) {
        EXPECT_EQ(r.faces[std::size_t(face)].kind, f.faces[std::size_t(face)].kind) << face;
        EXPECT_EQ(bool(r.faces[std::size_t(face)].velocity), bool(f.faces[std::size_t(face)].velocity)) << face;
    }
    EXPECT_EQ(r.faces[int(fluid::Face::top)].velocity->x, 0.1);
    EXPECT_EQ(read->world.sources[0].plane, 1);

    // The command line overrides the file: a face by itself, the obstacles as a whole.
    const std::optional<Scenario> over =
        scenario_of({"--scenario", file.path, "--boundary", "top=wall", "--obstacle", "disc:5,25,2"}, problem);
    ASSERT_TRUE(over) << problem;
    EXPECT_FALSE(over->fluid.faces[int(fluid::Face::top)].velocity);
    EXPECT_EQ(over->fluid.faces[int(fluid::Face::left)].kind, fluid::Kind::inflow);
    ASSERT_EQ(over->fluid.discs.size(), 1u);
    EXPECT_EQ(over->fluid.discs[0].x, 5.0);
    EXPECT_TRUE(over->fluid.boxes.empty());
}

TEST(FluidOptions, TheDemonstrationIsUnchanged) {
    std::string problem;
    const std::optional<Scenario> demo = scenario_of({}, problem);
    ASSERT_TRUE(demo) << problem;
    EXPECT_EQ(demo->model, ModelKind::demo);
    EXPECT_EQ(scenario_text(*demo),
              "[world]\ncolumns = 50\nrows = 50\nplanes = 1\ntau = 0.56\nspeed = 0.5\nreport_row = 9\n\n"
              "[[source]]\ncolumn = 25\nrow = 49\nplane = 0\nsmoke = 0.42\n");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"3"}, {"3", "--csv"}, {"2", "--probe", "25,48,0"}, {"--print-scenario"}}) {
        std::vector<std::string> named = args;
        named.push_back("--model=demo");
        const ProcessResult plain = smoke_steps(args), chosen = smoke_steps(named);
        EXPECT_EQ(plain.status, 0) << args[0];
        EXPECT_EQ(chosen.out, plain.out) << args[0];
        EXPECT_EQ(chosen.err, plain.err) << args[0];
    }
    // A program that runs the demonstration alone refuses the fluid.
    CLI::App app;
    WorldOptions options(app);
    const char* argv[] = {"test", "--model", "fluid"};
    app.parse(3, argv);
    EXPECT_FALSE(options.world(problem));
    EXPECT_EQ(problem, "this program runs the demonstration model alone, not the fluid");
}

TEST(FluidOptions, TheMemoryCheckCountsTheFluidsOwnBytes) {
    Scenario s;
    s.model = ModelKind::fluid;
    s.world.columns = 1000;
    s.world.rows = 1000;
    // 209 bytes a cell: two copies of 19 + 7 floats and a solid flag; 4 more asked for each cell.
    const std::uint64_t needed = 1000000ull * (209 + 4);
    EXPECT_FALSE(memory_problem(s, 4, needed));
    EXPECT_TRUE(memory_problem(s, 4, needed - 1));
    // The demonstration's cell takes more, so the same memory is too little for it.
    s.model = ModelKind::demo;
    EXPECT_TRUE(memory_problem(s, 4, needed));
}

TEST(FluidSteps, ReportCsvAndProbeReadTheFluid) {
    // At rest, every cell holds its weights: f4, along a lattice axis, is 1/18.
    ProcessResult r = smoke_steps({"1", "--model", "fluid"});
    EXPECT_EQ(r.status, 0) << r.err;
    std::string report;
    for (int i = 0; i < 10; ++i) report += "Lattice " + std::to_string(i) + ": 0.000000 / 0.055556\n";
    EXPECT_EQ(r.out, report + "\n");

    r = smoke_steps({"1", "--model", "fluid", "--csv", "--size", "4", "--report-row", "2", "--source", "0,0,0,1"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "step,column,row,smoke,population_4\n1,0,2,0,0.055555556\n1,1,2,0,0.055555556\n"
              "1,2,2,0,0.055555556\n1,3,2,0,0.055555556\n");

    r = smoke_steps({"0", "--model", "fluid", "--flow", "0.25,0,0", "--probe", "3,4,0"});
    EXPECT_EQ(r.status, 0) << r.err;
    std::string header = "step,column,row,plane,smoke,density,velocity_x,velocity_y,velocity_z";
    for (int i = 0; i < 19; ++i) header += ",f" + std::to_string(i);
    ASSERT_EQ(r.out.substr(0, r.out.find('\n')), header);
    EXPECT_EQ(r.out.find("solid"), std::string::npos);
    EXPECT_EQ(r.out.substr(header.size() + 1, 21), "0,3,4,0,0,1,0.25,0,0,");

    // A source in plane 2 of three, on the report row: the smoke arrives after the step, at that cell
    // alone, and the plain report reads plane 0.
    r = smoke_steps({"1", "--model", "fluid", "--size", "4", "--planes", "3", "--report-row", "2", "--source",
                     "1,2,2,1", "--probe", "1,2,2", "--probe", "1,2,0"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\n1,1,2,2,1,1,0,0,0,"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\n1,1,2,0,0,1,0,0,0,"), std::string::npos) << r.out;
    r = smoke_steps({"1", "--model", "fluid", "--size", "4", "--planes", "2", "--report-row", "2", "--source", "1,2,0,1"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Lattice 0: 0.000000 / 0.055556\nLattice 1: 1.000000 / 0.055556\n"
                     "Lattice 2: 0.000000 / 0.055556\nLattice 3: 0.000000 / 0.055556\n\n");

    r = smoke_steps({"3", "--model", "fluid", "--until-nonfinite", "--taylor-green", "0.05"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "smoke-steps: every value is still finite after step 3\n");
}

// The cells of a float array of a .vti file, by its name.
std::vector<float> vti_array(const std::string& vti, const std::string& name) {
    const std::size_t at = vti.find("Name=\"" + name + "\"");
    if (at == std::string::npos) return {};
    const std::size_t offset_at = vti.find("offset=\"", at) + 8;
    const std::size_t offset = std::stoul(vti.substr(offset_at));
    const std::size_t data = vti.find("<AppendedData encoding=\"raw\">\n   _") + 34;
    std::uint64_t size;
    std::memcpy(&size, &vti[data + offset], sizeof size);
    std::vector<float> values(size / sizeof(float));
    std::memcpy(values.data(), &vti[data + offset + sizeof size], size);
    return values;
}

TEST(FluidSteps, TheSeriesShowsVelocityAsAVectorAndTheObstacles) {
    const TempFolder folder;
    const std::vector<std::string> args = {"2", "--model", "fluid", "--size", "8x6", "--report-row", "5",
                                           "--source", "6,5,0,0.5", "--obstacle", "box:1,1,3,2",
                                           "--boundary", "top=wall:0.1,0,0", "--boundary", "bottom=wall"};
    std::vector<std::string> run = args;
    run.insert(run.end(), {"--vtk", folder.path});
    const ProcessResult r = smoke_steps(run);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string vti = read_file(folder.path + "/smoke_000002.vti");
    EXPECT_NE(vti.find("Name=\"velocity\" NumberOfComponents=\"3\""), std::string::npos);
    const std::vector<float> solid = vti_array(vti, "solid");
    ASSERT_EQ(solid.size(), 48u);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 8; ++x) {
            EXPECT_EQ(solid[std::size_t(y * 8 + x)], x >= 1 && x <= 3 && y >= 1 && y <= 2 ? 1.0f : 0.0f) << x << "," << y;
        }
    }
    EXPECT_EQ(vti_array(vti, "velocity").size(), 3u * 48u);
    // The lid moves the row under it along the columns.
    EXPECT_GT(vti_array(vti, "velocity")[3 * (5 * 8 + 4)], 0.0f);

    // The folder's scenario runs the same fluid again.
    const ProcessResult again = smoke_steps({"2", "--scenario", folder.path + "/scenario.toml"});
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.out, r.out);

    // The demonstration's .vti has no solid array.
    const TempFolder demo;
    ASSERT_EQ(smoke_steps({"0", "--vtk", demo.path}).status, 0);
    EXPECT_EQ(read_file(demo.path + "/smoke_000000.vti").find("solid"), std::string::npos);
}

// Rows wider than the step hands a thread at a time: each row is then a share of its own, on one
// thread as on two.
TEST(FluidSteps, RowsWiderThanAShareOfTheStepStep) {
    const auto run = [](const char* threads) {
        return smoke_steps({"3", "--model", "fluid", "--size", "9000x2", "--flow", "0.05,0,0", "--source", "3,1,0,1",
                            "--report-row", "1", "--threads", threads});
    };
    const ProcessResult one = run("1"), two = run("2");
    ASSERT_EQ(one.status, 0) << one.err;
    ASSERT_EQ(two.status, 0) << two.err;
    const std::size_t last = one.out.rfind("Lattice 4: ");  // the smoke has moved on by then
    ASSERT_NE(last, std::string::npos) << one.out;
    EXPECT_NE(one.out.substr(last, 19), "Lattice 4: 0.000000") << one.out;
    EXPECT_EQ(two.out, one.out);
}

TEST(FluidSteps, RefusalsEndWithStatusTwo) {
    const ProcessResult r = smoke_steps({"--model", "fluid", "--tau", "0.4"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')),
              "smoke-steps: --tau must be a finite number above 0.5 for the fluid, not '0.4'");
}

}  // namespace
