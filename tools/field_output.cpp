#include "field_output.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>

#include "common/float_text.h"

namespace {

const char* byte_order() {
    const std::uint16_t one = 1;
    unsigned char first;
    std::memcpy(&first, &one, 1);
    return first == 1 ? "LittleEndian" : "BigEndian";
}

// The cell arrays, in the order of their blocks in the appended data.
struct CellArray {
    const char* name;
    int components;
};
constexpr CellArray CELL_ARRAYS[] = {{"smoke", 1}, {"density", 1}, {"velocity", 1}, {"populations", DIRECTION_COUNT}};

std::uint64_t block_size(const Lattice& lattice, const CellArray& a) {
    return sizeof(float) * std::uint64_t(lattice.cell_count()) * a.components;
}

// Direction i leads from (x, y, plane) to (x + dx, y - dy, plane + dz): in the file's frame, where
// y is the row, that is the offset (dx, -dy, dz).
std::string component_names() {
    std::string names;
    for (int i = 0; i < DIRECTION_COUNT; ++i) {
        const Offset& o = DIRECTION_OFFSETS[i];
        names += " ComponentName" + std::to_string(i) + "=\"f" + std::to_string(i) + " (" + std::to_string(o.dx) +
                 " " + std::to_string(-o.dy) + " " + std::to_string(o.dz) + ")\"";
    }
    return names;
}

// Appends one array's block: its UInt64 byte count, then value(cell, component) for every cell in
// the lattice's order, components innermost.
template <typename Value>
void append_block(std::string& out, const Lattice& lattice, const CellArray& a, Value value) {
    const std::uint64_t size = block_size(lattice, a);
    out.append(reinterpret_cast<const char*>(&size), sizeof size);
    const std::size_t start = out.size();
    out.resize(start + size);
    char* at = out.data() + start;
    for (const auto& plane : lattice.planes) {
        for (const auto& cell : plane->cells) {
            for (int k = 0; k < a.components; ++k, at += sizeof(float)) {
                const float v = value(*cell, k);
                std::memcpy(at, &v, sizeof v);
            }
        }
    }
}

}  // namespace

std::string vti_image(const Lattice& lattice) {
    const std::string extent =
        "0 " + std::to_string(lattice.columns()) + " 0 " + std::to_string(lattice.rows()) + " 0 " +
        std::to_string(lattice.planes.size());
    std::string out = std::string("<?xml version=\"1.0\"?>\n<VTKFile type=\"ImageData\" version=\"1.0\" byte_order=\"") +
                      byte_order() + "\" header_type=\"UInt64\">\n  <ImageData WholeExtent=\"" + extent +
                      "\" Origin=\"0 0 0\" Spacing=\"1 1 1\">\n    <Piece Extent=\"" + extent +
                      "\">\n      <CellData Scalars=\"smoke\">\n";
    std::uint64_t offset = 0;
    for (const CellArray& a : CELL_ARRAYS) {
        out += std::string("        <DataArray type=\"Float32\" Name=\"") + a.name + "\" NumberOfComponents=\"" +
               std::to_string(a.components) + "\"" + (a.components == DIRECTION_COUNT ? component_names() : "") +
               " format=\"appended\" offset=\"" + std::to_string(offset) + "\"/>\n";
        offset += sizeof(std::uint64_t) + block_size(lattice, a);
    }
    out += "      </CellData>\n    </Piece>\n  </ImageData>\n  <AppendedData encoding=\"raw\">\n   _";
    out.reserve(out.size() + offset + 64);
    append_block(out, lattice, CELL_ARRAYS[0], [](const Cell& c, int) { return c.smoke; });
    append_block(out, lattice, CELL_ARRAYS[1], [](const Cell& c, int) { return c.density; });
    append_block(out, lattice, CELL_ARRAYS[2], [](const Cell& c, int) { return c.velocity; });
    append_block(out, lattice, CELL_ARRAYS[3], [](const Cell& c, int i) { return c.links[i].population; });
    out += "\n  </AppendedData>\n</VTKFile>\n";
    return out;
}

std::string pvd_collection(const std::vector<SeriesFile>& files) {
    std::string out = std::string("<?xml version=\"1.0\"?>\n<VTKFile type=\"Collection\" version=\"1.0\" byte_order=\"") +
                      byte_order() + "\" header_type=\"UInt64\">\n  <Collection>\n";
    for (const SeriesFile& f : files) {
        out += "    <DataSet timestep=\"" + std::to_string(f.step) + "\" part=\"0\" file=\"" + f.name + "\"/>\n";
    }
    return out + "  </Collection>\n</VTKFile>\n";
}

void write_csv_report(std::FILE* out, const Lattice& lattice, long step) {
    const Plane& plane = *lattice.planes[0];
    for (int i = 0; i < REPORT_COLUMNS && plane.contains(i, lattice.report_row); ++i) {
        const Cell& c = *plane.cell(i, lattice.report_row);
        std::fprintf(out, "%ld,%d,%d,%s,%s\n", step, i, lattice.report_row, float_text(c.smoke).c_str(),
                     float_text(c.links[REPORT_DIRECTION].population).c_str());
    }
    std::fflush(out);
}

bool write_file_atomically(const std::string& path, const std::string& content, std::string& error) {
    const std::string part = path + ".part";
    std::FILE* file = std::fopen(part.c_str(), "wb");
    if (!file) {
        error = "cannot write '" + part + "': " + std::strerror(errno);
        return false;
    }
    std::setvbuf(file, nullptr, _IONBF, 0);  // the content is the buffer: one write
    const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
    const int write_errno = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        error = "cannot write '" + part + "': " + std::strerror(written ? errno : write_errno);
        std::remove(part.c_str());
        return false;
    }
    if (std::rename(part.c_str(), path.c_str()) != 0) {
        error = "cannot rename '" + part + "' to '" + path + "': " + std::strerror(errno);
        std::remove(part.c_str());
        return false;
    }
    return true;
}

namespace {

constexpr const char* COLLECTION = "smoke.pvd";

std::string series_file_name(long step) {
    char name[40];
    std::snprintf(name, sizeof name, "smoke_%06ld.vti", step);
    return name;
}

}  // namespace

bool VtkSeries::start(std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec || !std::filesystem::is_directory(folder)) {
        error = "cannot create the folder '" + folder + "': " + (ec ? ec.message() : "a file of that name is there");
        return false;
    }
    const std::string collection = folder + "/" + COLLECTION;
    std::filesystem::remove(collection, ec);
    if (ec) {
        error = "cannot remove the old '" + collection + "': " + ec.message();
        return false;
    }
    return true;
}

bool VtkSeries::write(const Lattice& lattice, long step, std::string& error) {
    const std::string name = series_file_name(step);
    if (!write_file_atomically(folder + "/" + name, vti_image(lattice), error)) return false;
    files.push_back({step, name});
    return write_file_atomically(folder + "/" + COLLECTION, pvd_collection(files), error);
}
