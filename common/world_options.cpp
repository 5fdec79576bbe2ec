#include "common/world_options.h"

#include <sys/resource.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <set>

#include <CLI/CLI.hpp>
#include <toml++/toml.h>

#include "common/float_text.h"
#include "common/standard_streams.h"

namespace {

// A scenario is a few hundred bytes, 60 more a source. The cap keeps out what is no scenario, such
// as /dev/zero, and keys dotted so deeply that the TOML parser's recursion would overflow the stack.
constexpr std::size_t LARGEST_SCENARIO = 32 * 1024;

// A path as a message names it: as it is, unless it needs quoting to stay on one short line.
std::string path_text(const std::string& path) {
    const std::string quoted = quoted_argument(path.c_str(), 200);
    return quoted == "'" + path + "'" ? path : quoted;
}

std::string file_line(const std::string& path, const toml::source_region& where) {
    return path_text(path) + ":" + std::to_string(where.begin.line) + ":";
}

std::string world_size_text(const World& w) {
    return std::to_string(w.columns) + " x " + std::to_string(w.rows) + " x " + std::to_string(w.planes);
}

// A value given for a setting: the command line's text or a scenario file's node, and how a message
// names where it came from ("--tau", "FILE:LINE: tau").
struct Given {
    std::string origin;
    std::string text;
    const toml::node* node = nullptr;
};

using IntRule = std::optional<std::string> (*)(long long);
using FloatRule = std::optional<std::string> (*)(double);

std::optional<std::string> any_int(long long value) {
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) {
        return "must be a whole number that fits in 32 bits";
    }
    return std::nullopt;
}

std::string refusal(const Given& given, const std::string& problem) {
    return given.origin + " " + problem + (given.node ? "" : ", not " + quoted_argument(given.text.c_str()));
}

std::optional<std::string> convert(const Given& given, IntRule rule, int& into) {
    std::optional<long long> value;
    if (!given.node) {
        value = parse_number<long long>(given.text);
    } else if (given.node->is_integer()) {
        value = given.node->as_integer()->get();
    }
    if (!value) return refusal(given, "must be a whole number");
    if (const auto problem = rule(*value)) return refusal(given, *problem);
    into = int(*value);
    return std::nullopt;
}

// A number as the model holds it: the decimal rounded to double, as a TOML reader rounds it, then to
// float, so that a value means the same on the command line and in a file.
std::optional<std::string> convert(const Given& given, FloatRule rule, float& into) {
    std::optional<double> value;
    if (!given.node) {
        value = parse_number<double>(given.text);
    } else if (given.node->is_floating_point()) {
        value = given.node->as_floating_point()->get();
    } else if (given.node->is_integer()) {
        value = double(given.node->as_integer()->get());
    }
    if (!value) return refusal(given, "must be a number");
    const float f = float(*value);
    if (std::isfinite(*value) && !std::isfinite(f)) return refusal(given, "must fit in a 32-bit float");
    if (const auto problem = rule(f)) {
        return refusal(given, (*value != 0 && f == 0 ? "rounds to 0 as a 32-bit float, and " : "") + *problem);
    }
    into = f;
    return std::nullopt;
}

// A source as given, each value with where it came from; one not given is the default source's.
struct GivenSource {
    std::optional<Given> column, row, plane, smoke;
};

// The world's settings as given, before they are checked: each one given overrides the default, and
// the command line's override the file's. The file's nodes live in root.
struct Draft {
    std::map<std::string, Given> settings;        // by the scenario file's key
    std::optional<std::vector<GivenSource>> sources;  // nothing: the default sources
    toml::table root;
};

const std::set<std::string> WORLD_KEYS = {"columns", "rows", "planes", "tau", "speed", "report_row"};

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
        for (const auto& [key, value] : *element.as_table()) {
            const std::string name(key.str());
            std::optional<Given>* field = name == "column" ? &s.column
                                          : name == "row"  ? &s.row
                                          : name == "plane" ? &s.plane
                                          : name == "smoke" ? &s.smoke
                                                            : nullptr;
            if (!field) return unknown_key(path, key, " in [[source]]");
            *field = Given{file_line(path, key.source()) + " source " + name, "", &value};
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

// Reads the file's settings into draft, but for the keys overridden ("source" for the sources),
// whose values are then not even looked at.
std::optional<std::string> read_file(const std::string& path, const std::set<std::string>& overridden, Draft& draft) {
    std::string text;
    if (auto problem = read_text(path, text)) return problem;
    try {
        draft.root = toml::parse(text, path);
    } catch (const toml::parse_error& e) {
        return file_line(path, e.source()) + " " + std::string(e.description());
    }
    for (const auto& [key, node] : draft.root) {
        const std::string name(key.str());
        const std::string origin = file_line(path, key.source()) + " " + name;
        if (name == "world") {
            const toml::table* table = node.as_table();
            if (!table) return origin + " must be a [world] table";
            for (const auto& [world_key, value] : *table) {
                const std::string setting(world_key.str());
                if (!WORLD_KEYS.count(setting)) return unknown_key(path, world_key, " in [world]");
                if (overridden.count(setting)) continue;
                draft.settings[setting] = Given{file_line(path, world_key.source()) + " " + setting, "", &value};
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

std::vector<std::string> comma_separated(const std::string& text) {
    std::vector<std::string> fields;
    for (std::size_t start = 0;;) {
        const std::size_t comma = text.find(',', start);
        fields.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos) return fields;
        start = comma + 1;
    }
}

// X,Y,PLANE[,SMOKE] of an option: each field a Given named by the option, its text and the field.
std::optional<std::string> read_fields(const std::string& option, const std::string& text, const char* form,
                                       std::vector<Given>& fields) {
    const std::string origin = option + " " + quoted_argument(text.c_str()) + ":";
    const std::vector<std::string> parts = comma_separated(text);
    const std::vector<std::string> names = comma_separated(form);
    if (parts.size() != names.size()) return origin + " must be " + form;
    for (std::size_t i = 0; i < parts.size(); ++i) fields.push_back(Given{origin + " " + names[i], parts[i]});
    return std::nullopt;
}

std::optional<std::string> index_problem_in(const World& w, const Given& given, int value, int count) {
    if (const auto problem = index_problem(value, count)) {
        return refusal(given, *problem + " in the " + world_size_text(w) + " world");
    }
    return std::nullopt;
}

std::string source_text(const Source& s) {
    return std::to_string(s.column) + "," + std::to_string(s.row) + "," + std::to_string(s.plane) + "," +
           float_text(s.smoke);
}

// The sources as given, checked alone and against the world.
std::optional<std::string> build_sources(const Draft& draft, World& w) {
    if (!draft.sources) {
        for (const Source& s : w.sources) {
            if (place_problem(w, {s.column, s.row, s.plane})) {
                return "the default source " + source_text(s) + " lies outside the " + world_size_text(w) +
                       " world: give one with --source X,Y,PLANE,SMOKE";
            }
        }
        return std::nullopt;
    }
    w.sources.clear();
    for (const GivenSource& given : *draft.sources) {
        Source s = World().sources[0];
        if (given.column) {
            if (auto p = convert(*given.column, any_int, s.column)) return p;
        }
        if (given.row) {
            if (auto p = convert(*given.row, any_int, s.row)) return p;
        }
        if (given.plane) {
            if (auto p = convert(*given.plane, any_int, s.plane)) return p;
        }
        if (given.smoke) {
            if (auto p = convert(*given.smoke, smoke_problem, s.smoke)) return p;
        }
        // A value the source left to the default is named by the source's first key.
        const Given& any = given.column ? *given.column : given.row ? *given.row : given.plane ? *given.plane : *given.smoke;
        if (auto p = index_problem_in(w, given.column.value_or(any), s.column, w.columns)) return p;
        if (auto p = index_problem_in(w, given.row.value_or(any), s.row, w.rows)) return p;
        if (auto p = index_problem_in(w, given.plane.value_or(any), s.plane, w.planes)) return p;
        w.sources.push_back(s);
    }
    return std::nullopt;
}

std::string memory_text(std::uint64_t bytes) {
    const char* units[] = {"bytes", "KB", "MB", "GB", "TB", "PB", "EB"};
    double value = double(bytes);
    int unit = 0;
    while (value >= 1000 && unit < 6) {
        value /= 1000;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", value, units[unit]);
    return text;
}

// What the process has already taken, by a field of /proc/self/status such as VmSize.
std::optional<std::uint64_t> taken(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string name;
    std::uint64_t kilobytes;
    while (status >> name) {
        if (name == field && status >> kilobytes) return kilobytes * 1024;
        status.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
    return std::nullopt;
}

// Bytes of memory the process may still take: what the system has available, within what the
// limits on the process's address space and data leave; nothing when unknown.
std::optional<std::uint64_t> available_memory() {
    std::optional<std::uint64_t> available;
    std::ifstream meminfo("/proc/meminfo");
    std::string name;
    std::uint64_t kilobytes;
    while (meminfo >> name >> kilobytes) {
        if (name == "MemAvailable:") available = kilobytes * 1024;
        meminfo.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
    const std::pair<int, const char*> limits[] = {{RLIMIT_AS, "VmSize:"}, {RLIMIT_DATA, "VmData:"}};
    for (const auto& [resource, field] : limits) {
        rlimit limit;
        if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) continue;
        const std::uint64_t used = taken(field).value_or(0);
        const std::uint64_t left = limit.rlim_cur > used ? limit.rlim_cur - used : 0;
        available = std::min(available.value_or(left), left);
    }
    return available;
}

// The world from a draft: each setting checked where it was given, then the sources and the report
// row against the world.
std::optional<std::string> build(const Draft& draft, World& w) {
    const auto setting = [&](const char* key) -> const Given* {
        const auto found = draft.settings.find(key);
        return found == draft.settings.end() ? nullptr : &found->second;
    };
    const std::pair<const char*, int*> sizes[] = {{"columns", &w.columns}, {"rows", &w.rows}, {"planes", &w.planes}};
    for (const auto& [key, into] : sizes) {
        if (const Given* g = setting(key)) {
            if (auto p = convert(*g, size_problem, *into)) return p;
        }
    }
    if (const Given* g = setting("tau")) {
        if (auto p = convert(*g, tau_problem, w.tau)) return p;
    }
    if (const Given* g = setting("speed")) {
        if (auto p = convert(*g, speed_problem, w.speed)) return p;
    }
    if (auto p = build_sources(draft, w)) return p;
    const Given* row = setting("report_row");
    if (row) {
        if (auto p = convert(*row, any_int, w.report_row)) return p;
    }
    if (const auto problem = report_row_problem(w, w.report_row)) {
        if (!row) {
            return "the default report row " + std::to_string(REPORT_ROW) + " lies outside the " +
                   world_size_text(w) + " world: give one with --report-row R";
        }
        return refusal(*row, *problem);
    }
    return std::nullopt;
}

}  // namespace

WorldOptions::WorldOptions(CLI::App& app) {
    app.add_option("--size", size_, "cells per row and per column, or N for N x N (default 50)")
        ->type_name("COLUMNSxROWS");
    app.add_option("--planes", planes_, "planes stacked along z (default 1)")->type_name("N");
    app.add_option("--tau", tau_, "relaxation time, above 0 (default 0.56)")->type_name("T");
    app.add_option("--speed", speed_, "lattice speed, at least 0 (default 0.5)")->type_name("S");
    app.add_option("--source", sources_, "seed smoke into a cell; repeatable (default 25,49,0,0.42)")
        ->type_name("X,Y,PLANE,SMOKE")
        ->allow_extra_args(false);
    app.add_option("--report-row", report_row_, "the row of plane 0 that the report reads (default 9)")
        ->type_name("R");
    app.add_option("--scenario", scenario_, "read the world from a TOML file; options override it")
        ->type_name("FILE");
    app.add_flag("--print-scenario", print_scenario, "print the world as a scenario file, then end")
        ->disable_flag_override()
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
}

std::optional<World> WorldOptions::world(std::string& problem) const {
    World w;
    if (const auto p = build_world(w)) {
        problem = *p;
        return std::nullopt;
    }
    return w;
}

std::optional<std::string> WorldOptions::build_world(World& w) const {
    Draft draft;
    if (scenario_) {
        std::set<std::string> overridden;
        if (size_) overridden.insert({"columns", "rows"});
        if (planes_) overridden.insert("planes");
        if (tau_) overridden.insert("tau");
        if (speed_) overridden.insert("speed");
        if (report_row_) overridden.insert("report_row");
        if (!sources_.empty()) overridden.insert("source");
        if (auto p = read_file(*scenario_, overridden, draft)) return p;
    }
    if (size_) {
        // COLUMNSxROWS, or N for N x N.
        const std::size_t x = size_->find('x');
        const std::string columns = size_->substr(0, x), rows = x == std::string::npos ? columns : size_->substr(x + 1);
        if (!parse_number<long long>(columns) || !parse_number<long long>(rows)) {
            return "--size must be COLUMNSxROWS or N, not " + quoted_argument(size_->c_str());
        }
        draft.settings["columns"] = Given{"--size", columns};
        draft.settings["rows"] = Given{"--size", rows};
    }
    if (planes_) draft.settings["planes"] = Given{"--planes", *planes_};
    if (tau_) draft.settings["tau"] = Given{"--tau", *tau_};
    if (speed_) draft.settings["speed"] = Given{"--speed", *speed_};
    if (report_row_) draft.settings["report_row"] = Given{"--report-row", *report_row_};
    if (!sources_.empty()) {
        draft.sources.emplace();
        for (const std::string& text : sources_) {
            std::vector<Given> fields;
            if (auto p = read_fields("--source", text, "X,Y,PLANE,SMOKE", fields)) return p;
            draft.sources->push_back({fields[0], fields[1], fields[2], fields[3]});
        }
    }
    if (auto p = build(draft, w)) return p;

    const std::optional<std::uint64_t> cells = cell_count(w);
    const std::uint64_t lattice = cells ? lattice_bytes(*cells) : std::numeric_limits<std::uint64_t>::max();
    std::uint64_t needed = 0;
    const bool countable = lattice != std::numeric_limits<std::uint64_t>::max() &&
                           !__builtin_mul_overflow(*cells, extra_bytes_per_cell, &needed) &&
                           !__builtin_add_overflow(needed, lattice, &needed) && !__builtin_add_overflow(needed, extra_bytes, &needed);
    const std::optional<std::uint64_t> available = available_memory();
    if (!countable || (available && needed > *available)) {
        return "the " + world_size_text(w) + " world needs " +
               (countable ? memory_text(needed) + " of memory" : std::string("more memory than can be counted")) +
               ", and " + (available ? memory_text(*available) : std::string("less")) + " is available";
    }
    return std::nullopt;
}

std::optional<std::string> read_place(const std::string& option, const std::string& text, const World& world,
                                      Place& place) {
    std::vector<Given> fields;
    if (auto p = read_fields(option, text, "X,Y,PLANE", fields)) return p;
    if (auto p = convert(fields[0], any_int, place.column)) return p;
    if (auto p = convert(fields[1], any_int, place.row)) return p;
    if (auto p = convert(fields[2], any_int, place.plane)) return p;
    if (auto p = index_problem_in(world, fields[0], place.column, world.columns)) return p;
    if (auto p = index_problem_in(world, fields[1], place.row, world.rows)) return p;
    return index_problem_in(world, fields[2], place.plane, world.planes);
}

bool read_scenario(const std::string& path, World& world, std::string& problem) {
    Draft draft;
    std::optional<std::string> p = read_file(path, {}, draft);
    if (!p) p = build(draft, world);
    if (p) problem = *p;
    return !p;
}

namespace {

// A float as TOML text: float_text, which reads back as the same float through double as TOML
// readers read it, with a point or an exponent, so that it stays a float.
std::string toml_float(float value) {
    std::string text = float_text(value);
    if (text.find_first_of(".e") == std::string::npos) text += ".0";
    return text;
}

}  // namespace

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
