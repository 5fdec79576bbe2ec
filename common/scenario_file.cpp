#include "common/scenario_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <charconv>

#include <toml++/toml.h>

#include "common/float_text.h"
#include "common/standard_streams.h"

namespace {

// A scenario is a few hundred bytes, 60 more a source. The cap keeps out what is no scenario, such
// as /dev/zero, and keys dotted so deeply that the TOML parser's recursion would overflow the stack.
constexpr std::size_t LARGEST_SCENARIO = 32 * 1024;

const std::set<std::string> WORLD_KEYS = {"model",    "columns",     "rows",     "planes",       "tau", "speed",
                                          "report_row", "diffusivity", "buoyancy", "taylor_green", "force", "flow"};

// A path as a message names it: as it is, unless it needs quoting to stay on one short line.
std::string path_text(const std::string& path) {
    const std::string quoted = quoted_argument(path.c_str(), 200);
    return quoted == "'" + path + "'" ? path : quoted;
}

std::string file_line(const std::string& path, const toml::source_region& where) {
    return path_text(path) + ":" + std::to_string(where.begin.line) + ":";
}

// A file's value, typed as the draft takes it.
Given given(const toml::node& node, std::string origin) {
    Given g;
    g.origin = std::move(origin);
    g.from_file = true;
    if (const auto* integer = node.as_integer()) {
        g.integer = integer->get();
        g.number = double(integer->get());
    } else if (const auto* number = node.as_floating_point()) {
        g.number = number->get();
    } else if (const auto* string = node.as_string()) {
        g.string = string->get();
    } else if (const auto* array = node.as_array()) {
        g.array = true;
        for (const toml::node& item : *array) g.items.push_back(given(item, g.origin));
    }
    return g;
}

std::optional<std::string> unknown_key(const std::string& path, const toml::key& key, const char* where) {
    return file_line(path, key.source()) + " unknown key " + quoted_argument(std::string(key.str()).c_str()) + where;
}

const toml::array* tables(const toml::node& node) {
    const toml::array* array = node.as_array();
    return array && (array->empty() || array->is_array_of_tables()) ? array : nullptr;
}

// [[source]] or [[puff]] tables (table names which): column, row, plane and smoke. A source's missing
// key is the default source's; the draft's checks say which keys a puff needs.
std::optional<std::string> read_cells(const toml::node& node, const std::string& origin, const std::string& path,
                                      const std::string& table, std::optional<std::vector<GivenSource>>& into) {
    const toml::array* array = tables(node);
    if (!array) return origin + " must be [[" + table + "]] tables (or " + table + " = [] for none)";
    into.emplace();
    for (const toml::node& element : *array) {
        GivenSource& s = into->emplace_back();
        s.origin = file_line(path, element.source()) + " " + table;
        for (const auto& [key, value] : *element.as_table()) {
            const std::string name(key.str());
            std::optional<Given>* field = name == "column"  ? &s.column
                                          : name == "row"   ? &s.row
                                          : name == "plane" ? &s.plane
                                          : name == "smoke" ? &s.smoke
                                                            : nullptr;
            if (!field) return unknown_key(path, key, (" in [[" + table + "]]").c_str());
            *field = given(value, file_line(path, key.source()) + " " + table + " " + name);
        }
    }
    return std::nullopt;
}

// [boundary]: a table of faces, each { kind = "...", velocity = [X, Y, Z] }; a face overridden on
// the command line is not looked at.
std::optional<std::string> read_boundary(const toml::node& node, const std::string& origin, const std::string& path,
                                         const std::set<std::string>& overridden, Draft& draft) {
    const toml::table* table = node.as_table();
    if (!table) return origin + " must be a [boundary] table";
    for (const auto& [key, value] : *table) {
        const std::string name(key.str());
        int face = 0;
        while (face < fluid::FACE_COUNT && name != fluid::FACE_NAMES[std::size_t(face)]) ++face;
        if (face == fluid::FACE_COUNT) return unknown_key(path, key, " in [boundary] (faces are left, right, bottom, top, front, back)");
        if (overridden.count("boundary." + name)) continue;
        const std::string face_origin = file_line(path, key.source()) + " boundary " + name;
        const toml::table* settings = value.as_table();
        if (!settings) return face_origin + " must be a table such as { kind = \"wall\" }";
        GivenFace given;
        given.origin = face_origin;
        given.kind.origin = face_origin + " kind";
        given.kind.from_file = true;
        for (const auto& [setting, item] : *settings) {
            const std::string setting_name(setting.str());
            const std::string item_origin = file_line(path, setting.source()) + " boundary " + name + " " + setting_name;
            if (setting_name == "kind") {
                given.kind = ::given(item, item_origin);
            } else if (setting_name == "velocity") {
                given.velocity = ::given(item, item_origin);
            } else {
                return unknown_key(path, setting, (" in boundary " + name).c_str());
            }
        }
        draft.faces[face] = given;
    }
    return std::nullopt;
}

// An array of tables, or an empty array for none.

// [[obstacle]]: shape = "disc" with column, row, radius; or shape = "box" with columns = [X0, X1] and
// rows = [Y0, Y1].
std::optional<std::string> read_obstacles(const toml::node& node, const std::string& origin, const std::string& path,
                                          Draft& draft) {
    const toml::array* array = tables(node);
    if (!array) return origin + " must be [[obstacle]] tables (or obstacle = [] for none)";
    draft.obstacles.emplace();
    for (const toml::node& element : *array) {
        const toml::table& table = *element.as_table();
        GivenObstacle o;
        o.origin = file_line(path, element.source()) + " obstacle";
        const std::optional<std::string> shape = table["shape"].value<std::string>();
        if (!shape || (*shape != "disc" && *shape != "box")) return o.origin + " needs shape = \"disc\" or \"box\"";
        o.disc = *shape == "disc";
        const std::vector<std::string> keys =
            o.disc ? std::vector<std::string>{"column", "row", "radius"} : std::vector<std::string>{"columns", "rows"};
        for (const auto& [key, value] : table) {
            const std::string name(key.str());
            if (name != "shape" && std::find(keys.begin(), keys.end(), name) == keys.end()) {
                return unknown_key(path, key, (" in a " + *shape + " [[obstacle]]").c_str());
            }
        }
        std::vector<Given> values;
        for (const std::string& name : keys) {
            const toml::node* value = table.get(name);
            if (!value) return o.origin + " needs " + name;
            values.push_back(given(*value, file_line(path, value->source()) + " obstacle " + name));
        }
        if (o.disc) {
            o.values = values;
        } else {
            for (const Given& pair : values) {
                if (!pair.array || pair.items.size() != 2) return pair.origin + " must be an array of two whole numbers";
            }
            o.values = {values[0].items[0], values[1].items[0], values[0].items[1], values[1].items[1]};
        }
        draft.obstacles->push_back(o);
    }
    return std::nullopt;
}

// The whole file into text, refusing what cannot be a scenario.
std::optional<std::string> read_text(const std::string& path, std::string& text) {
    const std::string name = "the scenario " + quoted_argument(path.c_str(), 200);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return "cannot read " + name + ": " + std::strerror(errno);
    char buffer[4096];
    std::size_t n;
    while (text.size() <= LARGEST_SCENARIO && (n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        text.append(buffer, n);
    }
    const int read_errno = errno;
    const bool failed = std::ferror(file);
    std::fclose(file);
    if (failed) return "cannot read " + name + ": " + std::strerror(read_errno);
    if (text.size() > LARGEST_SCENARIO) return name + " is larger than 32 KB, too large for a scenario";
    return std::nullopt;
}

// A float as TOML text: float_text, which reads back as the same float through double as TOML
// readers read it, with a point or an exponent, so that it stays a float.
std::string toml_float(float value) {
    std::string text = float_text(value);
    if (text.find_first_of(".e") == std::string::npos) text += ".0";
    return text;
}

}  // namespace

std::optional<std::string> read_scenario_draft(const std::string& path, const std::set<std::string>& overridden,
                                               Draft& draft) {
    std::string text;
    if (auto problem = read_text(path, text)) return problem;
    toml::table root;
    try {
        root = toml::parse(text, path);
    } catch (const toml::parse_error& e) {
        return file_line(path, e.source()) + " " + std::string(e.description());
    }
    for (const auto& [key, node] : root) {
        const std::string name(key.str());
        const std::string origin = file_line(path, key.source()) + " " + name;
        if (name == "world") {
            const toml::table* table = node.as_table();
            if (!table) return origin + " must be a [world] table";
            for (const auto& [world_key, value] : *table) {
                const std::string setting(world_key.str());
                if (!WORLD_KEYS.count(setting)) return unknown_key(path, world_key, " in [world]");
                if (overridden.count(setting)) continue;
                draft.settings[setting] = given(value, file_line(path, world_key.source()) + " " + setting);
            }
        } else if (name == "source") {
            if (overridden.count(name)) continue;
            if (auto problem = read_cells(node, origin, path, "source", draft.sources)) return problem;
        } else if (name == "boundary") {
            if (auto problem = read_boundary(node, origin, path, overridden, draft)) return problem;
        } else if (name == "obstacle") {
            if (overridden.count(name)) continue;
            if (auto problem = read_obstacles(node, origin, path, draft)) return problem;
        } else if (name == "puff") {
            if (overridden.count(name)) continue;
            if (auto problem = read_cells(node, origin, path, "puff", draft.puffs)) return problem;
        } else {
            return unknown_key(path, key, "");
        }
    }
    return std::nullopt;
}

std::string scenario_text(const World& w) {
    std::string out;
    if (w.sources.empty()) out += "source = []  # no smoke anywhere\n\n";
    out += "[world]\ncolumns = " + std::to_string(w.columns) + "\nrows = " + std::to_string(w.rows) +
           "\nplanes = " + std::to_string(w.planes) + "\ntau = " + toml_float(w.tau) + "\nspeed = " +
           toml_float(w.speed) + "\nreport_row = " + std::to_string(w.report_row) + "\n";
    for (const Source& s : w.sources) {
        out += "\n[[source]]\ncolumn = " + std::to_string(s.column) + "\nrow = " + std::to_string(s.row) +
               "\nplane = " + std::to_string(s.plane) + "\nsmoke = " + toml_float(s.smoke) + "\n";
    }
    return out;
}

namespace {

// A double as TOML text: the shortest that reads back as the same double, with a point or an exponent.
std::string toml_double(double value) {
    std::string out = shortest_text(value);
    if (out.find_first_of(".e") == std::string::npos) out += ".0";
    return out;
}

std::string toml_vector(const fluid::Vec3& v) {
    return "[" + toml_double(v.x) + ", " + toml_double(v.y) + ", " + toml_double(v.z) + "]";
}

std::string place_lines(const char* table, int column, int row, int plane, float smoke) {
    return std::string("\n[[") + table + "]]\ncolumn = " + std::to_string(column) + "\nrow = " + std::to_string(row) +
           "\nplane = " + std::to_string(plane) + "\nsmoke = " + toml_float(smoke) + "\n";
}

}  // namespace

std::string scenario_text(const Scenario& scenario) {
    if (scenario.model == ModelKind::demo) return scenario_text(scenario.world);
    const World& w = scenario.world;
    const fluid::Setup& f = scenario.fluid;
    std::string out;
    if (w.sources.empty()) out += "source = []  # no smoke added\n\n";
    out += "[world]\nmodel = \"fluid\"\ncolumns = " + std::to_string(w.columns) + "\nrows = " + std::to_string(w.rows) +
           "\nplanes = " + std::to_string(w.planes) + "\ntau = " + toml_float(w.tau) +
           "\nreport_row = " + std::to_string(w.report_row) + "\ndiffusivity = " + toml_double(f.diffusivity) +
           "\nbuoyancy = " + toml_double(f.buoyancy) + "\nforce = " + toml_vector(f.force) +
           "\nflow = " + toml_vector(f.flow) + "\ntaylor_green = " + toml_double(f.taylor_green) + "\n\n[boundary]\n";
    for (int face = 0; face < fluid::FACE_COUNT; ++face) {
        const fluid::Boundary& b = f.faces[std::size_t(face)];
        out += std::string(fluid::FACE_NAMES[std::size_t(face)]) + " = { kind = \"" +
               fluid::KIND_NAMES[std::size_t(b.kind)] + "\"" +
               (b.velocity ? ", velocity = " + toml_vector(*b.velocity) : std::string()) + " }\n";
    }
    for (const fluid::Disc& d : f.discs) {
        out += "\n[[obstacle]]\nshape = \"disc\"\ncolumn = " + toml_double(d.x) + "\nrow = " + toml_double(d.y) +
               "\nradius = " + toml_double(d.radius) + "\n";
    }
    for (const fluid::Box& b : f.boxes) {
        out += "\n[[obstacle]]\nshape = \"box\"\ncolumns = [" + std::to_string(b.x0) + ", " + std::to_string(b.x1) +
               "]\nrows = [" + std::to_string(b.y0) + ", " + std::to_string(b.y1) + "]\n";
    }
    for (const Source& s : w.sources) out += place_lines("source", s.column, s.row, s.plane, s.smoke);
    for (const fluid::Source& s : f.puffs) out += place_lines("puff", s.column, s.row, s.plane, s.smoke);
    return out;
}
