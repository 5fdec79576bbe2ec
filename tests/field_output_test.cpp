// The .vti file read back byte by byte against the lattice it was written from.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "field_output.h"

namespace {

// The value of attribute name in the first element at or after from that has it.
std::string attribute(const std::string& xml, const std::string& name, size_t from = 0) {
    const size_t at = xml.find(" " + name + "=\"", from);
    if (at == std::string::npos) return "";
    const size_t start = at + name.size() + 3;
    return xml.substr(start, xml.find('"', start) - start);
}

std::uint32_t bits(float f) {
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
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

    const std::string file = vti_image(*lattice);
    EXPECT_EQ(attribute(file, "header_type"), "UInt64");
    EXPECT_EQ(attribute(file, "version"), "1.0");
    EXPECT_EQ(attribute(file, "WholeExtent"), "0 50 0 50 0 1");
    EXPECT_EQ(attribute(file, "Extent", file.find("<Piece")), "0 50 0 50 0 1");

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

}  // namespace
