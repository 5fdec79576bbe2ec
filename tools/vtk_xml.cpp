#include "vtk_xml.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "lattice/cell_fields.h"

namespace {

const char* byte_order() {
    const std::uint16_t one = 1;
    unsigned char first;
    std::memcpy(&first, &one, 1);
    return first == 1 ? "LittleEndian" : "BigEndian";
}

std::uint64_t block_size(const Extent& extent, const Field& field) {
    return sizeof(float) * std::uint64_t(extent.cells()) * std::uint64_t(field.components());
}

std::string component_names(const Field& field) {
    std::string names;
    for (std::size_t k = 0; k < field.vti_components.size(); ++k) {
        names += " ComponentName" + std::to_string(k) + "=\"" + field.vti_components[k] + "\"";
    }
    return names;
}

}  // namespace

std::string vti_image(const Fields& fields, const Extent& extent, const CellValues& values, long step) {
    const std::string shape = "0 " + std::to_string(extent.columns) + " 0 " + std::to_string(extent.rows) + " 0 " +
                              std::to_string(extent.planes == 1 ? 0 : extent.planes);
    const std::vector<Field>& list = fields.list();
    std::string out = std::string("<?xml version=\"1.0\"?>\n<VTKFile type=\"ImageData\" version=\"1.0\" byte_order=\"") +
                      byte_order() + "\" header_type=\"UInt64\">\n  <ImageData WholeExtent=\"" + shape +
                      "\" Origin=\"0 0 0\" Spacing=\"1 1 1\">\n    <FieldData>\n"
                      "      <DataArray type=\"Float64\" Name=\"TimeValue\" NumberOfTuples=\"1\" format=\"ascii\">" +
                      std::to_string(step) + "</DataArray>\n    </FieldData>\n    <Piece Extent=\"" + shape +
                      "\">\n      <CellData Scalars=\"" + (list.empty() ? "" : list[0].name) + "\">\n";
    std::uint64_t offset = 0;
    for (const Field& field : list) {
        out += "        <DataArray type=\"Float32\" Name=\"" + field.name + "\" NumberOfComponents=\"" +
               std::to_string(field.components()) + "\"" + component_names(field) + " format=\"appended\" offset=\"" +
               std::to_string(offset) + "\"/>\n";
        offset += sizeof(std::uint64_t) + block_size(extent, field);
    }
    out += "      </CellData>\n    </Piece>\n  </ImageData>\n  <AppendedData encoding=\"raw\">\n   _";
    // Each block: its UInt64 byte count, then its field's components of every cell in order. The
    // cells are read a row at a time, their values dealt out to the blocks.
    const std::size_t data = out.size();
    out.resize(data + offset);
    std::vector<char*> at;
    std::size_t block = data;
    for (const Field& field : list) {
        const std::uint64_t size = block_size(extent, field);
        std::memcpy(&out[block], &size, sizeof size);
        at.push_back(&out[block + sizeof size]);
        block += sizeof size + size;
    }
    const std::size_t count = std::size_t(fields.value_count()), columns = std::size_t(extent.columns);
    std::vector<float> row(count * columns);
    for (int plane = 0; plane < extent.planes; ++plane) {
        for (int y = 0; y < extent.rows; ++y) {
            values({0, y, plane}, extent.columns, row.data());
            for (std::size_t f = 0; f < list.size(); ++f) {
                const std::size_t components = std::size_t(list[f].components());
                const float* from = &row[std::size_t(fields.first_value(f))];
                // Fixed-size copies of one float: a copy of a run-time size would call the library.
                for (std::size_t x = 0; x < columns; ++x, from += count) {
                    for (std::size_t k = 0; k < components; ++k, at[f] += sizeof(float)) std::memcpy(at[f], from + k, sizeof(float));
                }
            }
        }
    }
    out += "\n  </AppendedData>\n</VTKFile>\n";
    return out;
}

std::string vti_image(const Lattice& lattice, long step) {
    return vti_image(cell_fields(), extent(lattice), cell_values(lattice), step);
}

std::string collection_entry(long step, const std::string& file) {
    return "    <DataSet timestep=\"" + std::to_string(step) + "\" part=\"0\" file=\"" + file + "\"/>\n";
}
