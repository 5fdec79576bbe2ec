#include "field_output.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <random>

#include "common/float_text.h"
#include "common/standard_streams.h"

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

std::string vti_image(const Lattice& lattice, long step) {
    const std::size_t planes = lattice.planes.size();
    const std::string extent = "0 " + std::to_string(lattice.columns()) + " 0 " + std::to_string(lattice.rows()) +
                               " 0 " + std::to_string(planes == 1 ? 0 : planes);
    std::string out = std::string("<?xml version=\"1.0\"?>\n<VTKFile type=\"ImageData\" version=\"1.0\" byte_order=\"") +
                      byte_order() + "\" header_type=\"UInt64\">\n  <ImageData WholeExtent=\"" + extent +
                      "\" Origin=\"0 0 0\" Spacing=\"1 1 1\">\n    <FieldData>\n"
                      "      <DataArray type=\"Float64\" Name=\"TimeValue\" NumberOfTuples=\"1\" format=\"ascii\">" +
                      std::to_string(step) + "</DataArray>\n    </FieldData>\n    <Piece Extent=\"" + extent +
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

void write_csv_report(std::FILE* out, const Lattice& lattice, long step) {
    const Plane& plane = *lattice.planes[0];
    for (int i = 0; i < REPORT_COLUMNS && plane.contains(i, lattice.report_row); ++i) {
        const Cell& c = *plane.cell(i, lattice.report_row);
        std::fprintf(out, "%ld,%d,%d,%s,%s\n", step, i, lattice.report_row, float_text(c.smoke).c_str(),
                     float_text(c.links[REPORT_DIRECTION].population).c_str());
    }
    std::fflush(out);
}

namespace {

constexpr const char* COLLECTION = "smoke.pvd";
constexpr const char* SCENARIO = "scenario.toml";
constexpr const char* PART = ".part";  // the end of every temporary name
// The collection carries no binary data, so it has no byte order: the same text on every machine.
constexpr const char* COLLECTION_HEAD = "<?xml version=\"1.0\"?>\n<VTKFile type=\"Collection\" version=\"1.0\">\n  <Collection>\n";
constexpr const char* COLLECTION_TAIL = "  </Collection>\n</VTKFile>\n";
// The kernel copies a write into a file page by page and lets a kill in only between pages, so a
// write within one 4096-byte page (a page or a part of one on every Linux) is whole or absent.
constexpr off_t PAGE = 4096;
constexpr std::size_t SHOWN = 200;  // bytes of a path that a message shows

std::string series_file_name(long step, int digits) {
    char name[40];
    std::snprintf(name, sizeof name, "smoke_%0*ld.vti", digits, step);
    return name;
}

bool ends_with(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// smoke_ and at least 6 digits, .vti: a step file of this or an earlier run.
bool is_step_file(const std::string& name) {
    const std::size_t digits = name.size() - std::min(name.size(), std::strlen("smoke_.vti"));
    return name.rfind("smoke_", 0) == 0 && ends_with(name, ".vti") && digits >= 6 &&
           std::all_of(name.begin() + 6, name.begin() + 6 + digits, [](char c) { return c >= '0' && c <= '9'; });
}

// A temporary file of a series that a kill left behind: NAME.xxxxxxxx.part, NAME one of the series'.
bool is_leftover(const std::string& name) {
    constexpr std::size_t TAIL = std::char_traits<char>::length(".xxxxxxxx.part");
    if (name.size() <= TAIL || !ends_with(name, PART) || name[name.size() - TAIL] != '.') return false;
    const std::string base = name.substr(0, name.size() - TAIL);
    const auto hex = name.begin() + std::ptrdiff_t(base.size() + 1);
    return std::all_of(hex, hex + 8, [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }) &&
           (base == COLLECTION || base == SCENARIO || is_step_file(base));
}

// Writes all of data, through short writes; false with errno set on failure.
bool write_all(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            if (written == 0) errno = EIO;
            return false;
        }
        data += written;
        size -= std::size_t(written);
    }
    return true;
}

}  // namespace

VtkSeries::VtkSeries(std::string folder, long last_step)
    : folder(std::move(folder)), digits(std::max<int>(6, int(std::to_string(last_step).size()))) {}

VtkSeries::~VtkSeries() {
    if (collection >= 0) close(collection);
    if (directory) closedir(directory);  // and with it the lock
}

std::string VtkSeries::shown(const std::string& name) const {
    return quoted_argument((folder + "/" + name).c_str(), SHOWN);
}

bool VtkSeries::lock(std::string& error) {
    const std::string shown_folder = quoted_argument(folder.c_str(), SHOWN);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec || !std::filesystem::is_directory(folder)) {
        error = "cannot create the folder " + shown_folder + ": " + (ec ? ec.message() : "a file of that name is there");
        return false;
    }
    directory = opendir(folder.c_str());
    if (!directory) {
        error = "cannot open the folder " + shown_folder + ": " + std::strerror(errno);
        return false;
    }
    if (flock(dirfd(directory), LOCK_EX | LOCK_NB) != 0) {
        error = errno == EWOULDBLOCK ? "the folder " + shown_folder + " is in use by another run"
                                     : "cannot lock the folder " + shown_folder + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool VtkSeries::start(const std::string& scenario, std::string& error) {
    if (!directory && !lock(error)) return false;
    const std::string shown_folder = quoted_argument(folder.c_str(), SHOWN);
    if (unlinkat(dirfd(directory), COLLECTION, 0) != 0 && errno != ENOENT) {
        error = "cannot remove the earlier run's " + shown(COLLECTION) + ": " + std::strerror(errno);
        return false;
    }
    errno = 0;
    while (const dirent* entry = readdir(directory)) {
        const std::string name = entry->d_name;
        const bool leftover = is_leftover(name);
        if (!leftover && !is_step_file(name)) continue;
        if (unlinkat(dirfd(directory), name.c_str(), 0) != 0 && errno != ENOENT) {
            error = "cannot remove the earlier run's " + shown(name) + ": " + std::strerror(errno);
            return false;
        }
        leftovers_removed += leftover;
        errno = 0;
    }
    if (errno != 0) {
        error = "cannot read the folder " + shown_folder + ": " + std::strerror(errno);
        return false;
    }
    return write_file(SCENARIO, scenario, error);
}

bool VtkSeries::write(const Lattice& lattice, long step, std::string& error) {
    const std::string name = series_file_name(step, digits);
    if (!write_file(name, vti_image(lattice, step), error)) return false;
    const std::string entry = "    <DataSet timestep=\"" + std::to_string(step) + "\" part=\"0\" file=\"" + name + "\"/>\n";
    entries += entry;
    off_t at = entries_end;
    const off_t size = off_t(entry.size());
    if (at / PAGE != (at + size - 1) / PAGE) at = (at / PAGE + 1) * PAGE;  // spaces fill the page's end
    // Rewriting with room as large as the entries so far keeps the cost per file flat.
    if (collection < 0 || at + size > room_end) return rewrite_collection(std::max<std::size_t>(entries.size(), PAGE), error);
    const ssize_t written = pwrite(collection, entry.data(), entry.size(), at);
    if (written != ssize_t(entry.size())) {
        error = "cannot write " + shown(COLLECTION) + ": " + (written < 0 ? std::strerror(errno) : "a short write");
        return false;
    }
    entries_end = at + size;
    return true;
}

bool VtkSeries::finish(std::string& error) { return collection < 0 || rewrite_collection(0, error); }

bool VtkSeries::rewrite_collection(std::size_t room, std::string& error) {
    std::string text = COLLECTION_HEAD + entries;
    const off_t end = off_t(text.size());
    text.append(room, ' ');
    text += COLLECTION_TAIL;
    int kept = -1;
    if (!put_file(COLLECTION, text, error, room > 0 ? &kept : nullptr)) return false;
    if (collection >= 0) close(collection);
    collection = kept;
    entries_end = end;
    room_end = end + off_t(room);
    return true;
}

bool VtkSeries::write_file(const std::string& name, const std::string& content, std::string& error) {
    return put_file(name, content, error, nullptr);
}

bool VtkSeries::put_file(const std::string& name, const std::string& content, std::string& error, int* keep_open) {
    const int folder_fd = dirfd(directory);
    // O_EXCL refuses any existing name, a planted link included; a random name cannot be planted ahead.
    std::random_device random;
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%08x", unsigned(random()));
        temporary = name + suffix + PART;
        fd = openat(folder_fd, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        error = "cannot write " + shown(name) + ": " + std::strerror(errno);
        return false;
    }
    const bool written = write_all(fd, content.data(), content.size());
    int failure = written ? 0 : errno;
    const bool closing = !keep_open || !written;
    if (closing && close(fd) != 0 && failure == 0) failure = errno;
    if (failure == 0 && renameat(folder_fd, temporary.c_str(), folder_fd, name.c_str()) != 0) failure = errno;
    if (failure != 0) {
        if (!closing) close(fd);
        unlinkat(folder_fd, temporary.c_str(), 0);
        error = "cannot write " + shown(name) + ": " + std::strerror(failure);
        return false;
    }
    if (keep_open) *keep_open = fd;
    return true;
}
