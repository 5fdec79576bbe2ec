// The .vti file read back byte by byte against the lattice it was written from, and the series'
// collection as a kill at any moment would find it.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "vtk_series.h"
#include "vtk_xml.h"
#include "testing.h"

namespace {

// The value of attribute name in the first element at or after from that has it.
std::string attribute(const std::string& xml, const std::string& name, size_t from = 0) {
    const size_t at = xml.find(" " + name + "=\"", from);
    if (at == std::string::npos) return "";
    const size_t start = at + name.size() + 3;
    return xml.substr(start, xml.find('"', start) - start);
}

TEST(VtkImage, HoldsEveryCellsFieldsBitForBitInRowByRowOrder) {
    auto lattice = make_world();
    // Distinct values everywhere, so that a swapped row, column or component shows.
    int k = 0;
    for (auto& cell : lattice->planes[0]->cells) {
        cell->smoke = 1000.0f + k;
        cell->density = 2000.0f + k;
        cell->velocity = 3000.0f + k;
        for (int i = 0; i < DIRECTION_COUNT; ++i) cell->links[i].population = k * 100.0f + i;
        ++k;
    }
    Cell& odd = *lattice->planes[0]->cell(3, 7);
    odd.smoke = std::numeric_limits<float>::infinity();
    odd.density = -std::numeric_limits<float>::infinity();
    odd.velocity = std::nanf("");
    odd.links[5].population = -std::nanf("");

    const std::string file = vti_image(*lattice, 0);

    const size_t data = file.find("<AppendedData encoding=\"raw\">\n   _") + 34;
    ASSERT_EQ(file[data - 1], '_');
    const auto expected = [&](const std::string& name, int cell, int component) {
        const Cell& c = *lattice->planes[0]->cells[cell];
        if (name == "smoke") return c.smoke;
        if (name == "density") return c.density;
        if (name == "velocity") return c.velocity;
        return c.links[component].population;
    };
    size_t next_offset = 0;
    for (const std::string name : {"smoke", "density", "velocity", "populations"}) {
        const size_t element = file.find("Name=\"" + name + "\"");
        ASSERT_NE(element, std::string::npos) << name;
        const int components = std::stoi(attribute(file, "NumberOfComponents", element));
        EXPECT_EQ(components, name == "populations" ? DIRECTION_COUNT : 1);
        const size_t offset = std::stoull(attribute(file, "offset", element));
        EXPECT_EQ(offset, next_offset) << name;  // the blocks follow each other without gaps
        std::uint64_t size;
        std::memcpy(&size, &file[data + offset], sizeof size);
        ASSERT_EQ(size, 4u * GRID_SIZE * GRID_SIZE * components) << name;
        for (int cell = 0; cell < GRID_SIZE * GRID_SIZE; ++cell) {
            for (int component = 0; component < components; ++component) {
                float value;
                std::memcpy(&value, &file[data + offset + 8 + 4 * (cell * components + component)], sizeof value);
                ASSERT_EQ(bits(value), bits(expected(name, cell, component))) << name << " " << cell << "." << component;
            }
        }
        next_offset = offset + 8 + size;
    }
    EXPECT_EQ(file.substr(data + next_offset), "\n  </AppendedData>\n</VTKFile>\n");
    EXPECT_EQ(attribute(file, "ComponentName4", file.find("Name=\"populations\"")), "f4 (1 0 0)");
    EXPECT_EQ(attribute(file, "ComponentName3", file.find("Name=\"populations\"")), "f3 (0 -1 0)");  // toward row y - 1
}

World small_world(int planes) { return world_of(3, 2, planes, {{1, 1, 0, 0.5f}}); }

TEST(VtkImage, OnePlaneIsAFlatImageAndTheStepItsTimeValue) {
    const std::string flat = vti_image(*make_world(small_world(1)), 1234567);
    EXPECT_EQ(flat.substr(0, flat.find("        <DataArray type=\"Float32\"")),
              "<?xml version=\"1.0\"?>\n"
              "<VTKFile type=\"ImageData\" version=\"1.0\" byte_order=\"LittleEndian\" header_type=\"UInt64\">\n"
              "  <ImageData WholeExtent=\"0 3 0 2 0 0\" Origin=\"0 0 0\" Spacing=\"1 1 1\">\n"
              "    <FieldData>\n"
              "      <DataArray type=\"Float64\" Name=\"TimeValue\" NumberOfTuples=\"1\" format=\"ascii\">1234567</DataArray>\n"
              "    </FieldData>\n"
              "    <Piece Extent=\"0 3 0 2 0 0\">\n"
              "      <CellData Scalars=\"smoke\">\n");
    const std::string deep = vti_image(*make_world(small_world(4)), 0);
    EXPECT_EQ(attribute(deep, "WholeExtent"), "0 3 0 2 0 4");
    EXPECT_EQ(attribute(deep, "Extent", deep.find("<Piece")), "0 3 0 2 0 4");
    EXPECT_NE(deep.find("\"smoke\" NumberOfComponents=\"1\" format=\"appended\" offset=\"0\""), std::string::npos);
    EXPECT_NE(deep.find("\"density\" NumberOfComponents=\"1\" format=\"appended\" offset=\"104\""),
              std::string::npos);  // 24 cells of 4 bytes after an 8-byte header
}

ino_t inode(const std::filesystem::path& path) {
    struct stat s {};
    stat(path.c_str(), &s);
    return s.st_ino;
}

TEST(VtkSeries, EveryStateOfTheCollectionIsWholeAndNoKillCanCutAChange) {
    const TemporaryFolder folder;
    VtkSeries series(folder.path, 1000000);  // names of seven digits
    std::string error;
    ASSERT_TRUE(series.start("[world]\n", error)) << error;
    const auto lattice = make_world(small_world(1));
    const std::filesystem::path collection = folder.path / "smoke.pvd";
    std::vector<long> written;
    std::string before;
    ino_t before_inode = 0;
    for (long step = 0; step < 150; ++step) {  // past the collection's first room and its growth
        const long name_step = step == 149 ? 1000000 : step;
        ASSERT_TRUE(series.write(name_step, vti_image(*lattice, name_step), error)) << error;
        written.push_back(name_step);
        const std::string after = contents(collection);
        ASSERT_EQ(listed_steps(after), written);
        // A file renamed into place, or a change within one 4096-byte page, which the kernel
        // writes whole or not at all.
        if (inode(collection) == before_inode) {
            ASSERT_EQ(after.size(), before.size());
            const auto first = std::mismatch(before.begin(), before.end(), after.begin()).first - before.begin();
            const auto last = before.rend() - std::mismatch(before.rbegin(), before.rend(), after.rbegin()).first - 1;
            ASSERT_EQ(first / 4096, last / 4096) << "step " << step;
        }
        before = after;
        before_inode = inode(collection);
    }
    ASSERT_TRUE(series.finish(error)) << error;
    const std::string finished = contents(folder.path / "smoke.pvd");
    EXPECT_EQ(finished.find("     "), std::string::npos);  // the spare room is gone
    EXPECT_NE(finished.find("\"smoke_0000007.vti\"/>\n    <DataSet timestep=\"8\" part=\"0\" file=\"smoke_0000008.vti\""),
              std::string::npos);
    EXPECT_EQ(contents(folder.path / "smoke_1000000.vti"), vti_image(*lattice, 1000000));
    EXPECT_EQ(contents(folder.path / "scenario.toml"),
              "# smoke-steps wrote this world with the series in this folder; its next run here replaces it.\n[world]\n");
}

// Only a scenario.toml that a series wrote is replaced; anything else there is the user's, kept,
// and the folder left as it was.
TEST(VtkSeries, ReplacesOnlyAScenarioThatASeriesWrote) {
    const std::string mark = VtkSeries::SCENARIO_MARK;
    const std::vector<std::pair<std::string, bool>> cases = {
        {mark + "[world]\ncolumns = 5\n", true},
        {mark, true},
        {"[world]\ncolumns = 5  # my own\n", false},
        {"", false},
        {mark.substr(0, mark.size() - 1), false},  // cut short: no end of line
        {"#" + mark, false},
        {"\n" + mark, false},
    };
    for (const auto& [text, ours] : cases) {
        const TemporaryFolder folder;
        std::ofstream(folder.path / "scenario.toml") << text;
        std::ofstream(folder.path / "smoke.pvd") << "an earlier collection";
        VtkSeries series(folder.path, 10);
        std::string error;
        EXPECT_EQ(series.start("[world]\n", error), ours) << text;
        if (ours) {
            EXPECT_EQ(contents(folder.path / "scenario.toml"), mark + "[world]\n");
            EXPECT_FALSE(std::filesystem::exists(folder.path / "smoke.pvd"));
            continue;
        }
        EXPECT_EQ(error, "'" + (folder.path / "scenario.toml").string() +
                             "' is not a scenario that smoke-steps wrote for a series there: it is kept, and nothing "
                             "was written (move it, or choose another folder)");
        EXPECT_EQ(contents(folder.path / "scenario.toml"), text);
        EXPECT_EQ(contents(folder.path / "smoke.pvd"), "an earlier collection");
    }
    // A link, even to a scenario a series wrote, and a folder of that name.
    const TemporaryFolder folder;
    std::ofstream(folder.path / "written.toml") << mark;
    std::filesystem::create_symlink(folder.path / "written.toml", folder.path / "scenario.toml");
    std::string error;
    EXPECT_FALSE(VtkSeries(folder.path, 1).start("", error));
    EXPECT_NE(error.find("scenario.toml' is not a scenario that smoke-steps wrote for a series there: a link; it is kept"),
              std::string::npos)
        << error;
    std::filesystem::remove(folder.path / "scenario.toml");
    std::filesystem::create_directory(folder.path / "scenario.toml");
    EXPECT_FALSE(VtkSeries(folder.path, 1).start("", error));
    EXPECT_NE(error.find("there: not a file; it is kept"), std::string::npos) << error;
    EXPECT_EQ(contents(folder.path / "written.toml"), mark);
}

}  // namespace
