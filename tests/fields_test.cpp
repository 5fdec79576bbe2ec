// The outputs driven by a cell's fields, for a model with a vector quantity (the smoke lattice's own
// texts are pinned where its programs print them: probe, click and e2e tests).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "common/cell_text.h"
#include "vector_cell.h"
#include "vtk_xml.h"

namespace {

TEST(CellText, AVectorIsThreeColumnsAndThreeFiguresOfOneWord) {
    VectorWorld world;
    const Place place = {1, 0, 1};  // cell 5: values 50 to 57
    world.at(place, 2) = -0.5f;
    world.at(place, 7) = INFINITY;
    const Fields& fields = vector_cell_fields();
    EXPECT_EQ(fields.value_count(), 8);
    EXPECT_EQ(probe_csv_header(fields), "step,column,row,plane,smoke,velocity_x,velocity_y,velocity_z,solid,f0,f1,f2\n");
    EXPECT_EQ(probe_csv_row(fields, 7, place, world.reader()), "7,1,0,1,50,51,-0.5,53,54,55,56,inf\n");
    EXPECT_EQ(cell_line(fields, 7, place, world.reader()),
              "Cell 1,0,1 at step 7: smoke 50 velocity 51,-0.5,53 solid 54 populations 55 56 inf");
}

float float_at(const std::string& file, std::size_t at) {
    float value;
    std::memcpy(&value, &file[at], sizeof value);
    return value;
}

TEST(VtkImage, AVectorIsAnArrayOfThreeComponents) {
    VectorWorld world;
    world.at({1, 0, 1}, 2) = -0.5f;
    const std::string file = vti_image(vector_cell_fields(), world.extent, world.reader(), 3);
    const std::size_t cells_start = file.find("      <CellData");
    const std::size_t data = file.find("<AppendedData encoding=\"raw\">\n   _") + 34;
    ASSERT_NE(cells_start, std::string::npos);
    // Blocks of 8 cells: 8 + 32 bytes for a scalar, 8 + 96 for the vector and the populations.
    EXPECT_EQ(file.substr(cells_start, data - 34 - cells_start),
              "      <CellData Scalars=\"smoke\">\n"
              "        <DataArray type=\"Float32\" Name=\"smoke\" NumberOfComponents=\"1\" format=\"appended\" offset=\"0\"/>\n"
              "        <DataArray type=\"Float32\" Name=\"velocity\" NumberOfComponents=\"3\" format=\"appended\" offset=\"40\"/>\n"
              "        <DataArray type=\"Float32\" Name=\"solid\" NumberOfComponents=\"1\" format=\"appended\" offset=\"144\"/>\n"
              "        <DataArray type=\"Float32\" Name=\"populations\" NumberOfComponents=\"3\" ComponentName0=\"f0 (0 0 0)\" "
              "ComponentName1=\"f1 (1 0 0)\" ComponentName2=\"f2 (-1 0 0)\" format=\"appended\" offset=\"184\"/>\n"
              "      </CellData>\n    </Piece>\n  </ImageData>\n  ");
    EXPECT_NE(file.find("WholeExtent=\"0 2 0 2 0 2\""), std::string::npos);
    std::uint64_t size;
    std::memcpy(&size, &file[data + 40], sizeof size);
    EXPECT_EQ(size, 96u);
    // Cell 5's velocity, components innermost; cell 7's smoke; cell 2's solid; cell 6's f2.
    EXPECT_EQ(float_at(file, data + 48 + 4 * 15), 51.0f);
    EXPECT_EQ(float_at(file, data + 48 + 4 * 16), -0.5f);
    EXPECT_EQ(float_at(file, data + 48 + 4 * 17), 53.0f);
    EXPECT_EQ(float_at(file, data + 8 + 4 * 7), 70.0f);
    EXPECT_EQ(float_at(file, data + 152 + 4 * 2), 24.0f);
    EXPECT_EQ(float_at(file, data + 192 + 4 * (6 * 3 + 2)), 67.0f);
    EXPECT_EQ(file.substr(data + 192 + 96), "\n  </AppendedData>\n</VTKFile>\n");
}

}  // namespace
