#include "common/scenario_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <toml++/toml.h>

#include "common/float_text.h"
#include "common/standard_streams.h"

namespace {

// A scenario is a few hundred bytes, 60 more a source. The cap keeps out what is no scenario, such
// as /dev/zero, and keys dotted so deeply that the TOML parser's recursion would overflow the stack.
constexpr std::size_t LARGEST_SCENARIO = 32 * 1024;

const std::set<std::string> WORLD_KEYS = {"columns", "rows", "planes", "tau", "speed", "report_row"};

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
    }
    return g;
}

std::optional<std::string> unknown_key(const std::string& path, const toml::key& key, const char* where) {
    return file_line(path, key.source()) + " unknown key " + quoted_argument(std::string(key.str()).c_str()) + where;
}

std::optional<std::string> read_sources(const toml::node& node, const std::string& origin, const std::string& path,
                                        Draft& draft) {
    const toml::array* array = node.as_array();
    if (!array || !(array->empty() || array->is_array_of_tables())) {
        return origin + " must be [[source]] tables (or source = [] for none)";
    }
    draft.sources.emplace();
    for (const toml::node& element : *array) {
        GivenSource& s = draft.sources->emplace_back();
        s.origin = file_line(path, element.source()) + " source";
        for (const auto& [key, value] : *element.as_table()) {
            const std::string name(key.str());
            std::optional<Given>* field = name == "column"  ? &s.column
                                          : name == "row"   ? &s.row
                                          : name == "plane" ? &s.plane
                                          : name == "smoke" ? &s.smoke
                                                            : nullptr;
            if (!field) return unknown_key(path, key, " in [[source]]");
            *field = given(value, file_line(path, key.source()) + " source " + name);
        }
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
            if (auto problem = read_sources(node, origin, path, draft)) return problem;
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
