// The outputs driven by a cell's fields: the smoke lattice's texts pinned, and a model with a vector
// quantity through the same functions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "common/cell_text.h"
#include "lattice/cell_fields.h"
#include "vector_cell.h"
#include "vtk_xml.h"

namespace {

TEST(CellText, TheSmokeLatticesHeaderAndLineAsTheyHaveAlwaysBeen) {
    EXPECT_EQ(probe_csv_header(cell_fields()),
              "step,column,row,plane,smoke,density,velocity,f0,f1,f2,f3,f4,f5,f6,f7,f8,f9,f10,f11,f12,f13,f14,f15,"
              "f16,f17,f18\n");
    Cell cell(0.42f, 0.5f);
    cell.density = -INFINITY;
    cell.velocity = 1e-45f;
    for (int i = 0; i < DIRECTION_COUNT; ++i) cell.links[std::size_t(i)].population = float(i) + 0.5f;
    cell.links[18].population = NAN;
    EXPECT_EQ(cell_line(12, {3, 4, 5}, cell),
              "Cell 3,4,5 at step 12: smoke 0.42 density -inf velocity 1e-45 populations 0.5 1.5 2.5 3.5 4.5 5.5 6.5 "
              "7.5 8.5 9.5 10.5 11.5 12.5 13.5 14.5 15.5 16.5 17.5 nan");
    EXPECT_EQ(probe_csv_row(cell_fields(), 12, {3, 4, 5}, cell_values(cell)),
              "12,3,4,5,0.42,-inf,1e-45,0.5,1.5,2.5,3.5,4.5,5.5,6.5,7.5,8.5,9.5,10.5,11.5,12.5,13.5,14.5,15.5,16.5,17.5,"
              "nan\n");
}

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
