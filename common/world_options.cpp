#include "common/world_options.h"

#include <sys/resource.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>

#include <CLI/CLI.hpp>
#include <toml++/toml.h>

#include "common/float_text.h"
#include "common/standard_streams.h"

namespace {

// A scenario larger than this is not one: a path such as /dev/zero would otherwise be read forever.
constexpr std::size_t LARGEST_SCENARIO = 1 << 20;

std::optional<long long> whole_number(const std::string& text) {
    long long value;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end) return std::nullopt;
    return value;
}

// A float as the model holds it: the decimal rounded to double, then to float, as a TOML reader
// rounds it, so that a value means the same on the command line and in a file.
std::optional<double> number(const std::string& text) {
    double value;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end) return std::nullopt;
    return value;
}

// "must be ..." for a value that is no float, or one a float cannot hold.
std::optional<std::string> float_problem(std::optional<std::string> (*rule)(double), double value) {
    if (std::isfinite(value) && !std::isfinite(float(value))) return "must fit in a 32-bit float";
    return rule(float(value));
}

std::optional<std::string> int_problem(std::optional<std::string> (*rule)(long long), long long value) {
    return rule(value);
}

std::optional<std::string> any_int(long long value) {
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) {
        return "must be a whole number that fits in 32 bits";
    }
    return std::nullopt;
}

// A path as a message names it: as it is, unless it needs quoting to stay on one short line.
std::string path_text(const std::string& path) {
    const std::string quoted = quoted_argument(path.c_str(), 200);
    return quoted == "'" + path + "'" ? path : quoted;
}

// Where a value came from, for messages: "--tau" or "FILE:LINE: tau".
std::string from_file(const std::string& path, const toml::source_region& where, const std::string& key) {
    return path_text(path) + ":" + std::to_string(where.begin.line) + ": " + key;
}

// The world being assembled, with the origin of the values that later checks may refuse; an empty
// origin is the default's.
struct Draft {
    World world;
    std::vector<std::string> source_origins = {""};
    std::string report_row_origin;
};

// Reads a TOML integer or float for a float setting; a problem names where it came from.
std::optional<std::string> take_float(const toml::node& node, const std::string& origin,
                                      std::optional<std::string> (*rule)(double), float& into) {
    const std::optional<double> value = node.value<double>();  // integers convert too
    if (!value) return origin + " must be a number";
    if (const auto problem = float_problem(rule, *value)) return origin + " " + *problem;
    into = float(*value);
    return std::nullopt;
}

std::optional<std::string> take_int(const toml::node& node, const std::string& origin,
                                    std::optional<std::string> (*rule)(long long), int& into) {
    if (!node.is_integer()) return origin + " must be a whole number";
    const long long value = node.as_integer()->get();
    if (const auto problem = int_problem(rule, value)) return origin + " " + *problem;
    into = int(value);
    return std::nullopt;
}

std::optional<std::string> read_world_table(const toml::table& table, const std::string& path, Draft& draft) {
    World& w = draft.world;
    for (const auto& [key, node] : table) {
        const std::string name(key.str());
        const std::string origin = from_file(path, key.source(), name);
        std::optional<std::string> problem;
        if (name == "columns") {
            problem = take_int(node, origin, size_problem, w.columns);
        } else if (name == "rows") {
            problem = take_int(node, origin, size_problem, w.rows);
        } else if (name == "planes") {
            problem = take_int(node, origin, size_problem, w.planes);
        } else if (name == "tau") {
            problem = take_float(node, origin, tau_problem, w.tau);
        } else if (name == "speed") {
            problem = take_float(node, origin, speed_problem, w.speed);
        } else if (name == "report_row") {
            problem = take_int(node, origin, any_int, w.report_row);
            draft.report_row_origin = origin;
        } else {
            problem = from_file(path, key.source(), "unknown key '" + name + "' in [world]");
        }
        if (problem) return problem;
    }
    return std::nullopt;
}

std::optional<std::string> read_sources(const toml::node& node, const std::string& origin, const std::string& path,
                                        Draft& draft) {
    const toml::array* array = node.as_array();
    if (!array || !(array->empty() || array->is_array_of_tables())) {
        return origin + " must be [[source]] tables (or source = [] for none)";
    }
    draft.world.sources.clear();
    draft.source_origins.clear();
    for (const toml::node& element : *array) {
        Source s = World().sources[0];
        for (const auto& [key, value] : *element.as_table()) {
            const std::string name(key.str());
            const std::string where = from_file(path, key.source(), "source " + name);
            std::optional<std::string> problem;
            if (name == "column") {
                problem = take_int(value, where, any_int, s.column);
            } else if (name == "row") {
                problem = take_int(value, where, any_int, s.row);
            } else if (name == "plane") {
                problem = take_int(value, where, any_int, s.plane);
            } else if (name == "smoke") {
                problem = take_float(value, where, smoke_problem, s.smoke);
            } else {
                problem = from_file(path, key.source(), "unknown key '" + name + "' in [[source]]");
            }
            if (problem) return problem;
        }
        draft.world.sources.push_back(s);
        draft.source_origins.push_back(from_file(path, element.source(), "source"));
    }
    return std::nullopt;
}

// The whole file into text, refusing what cannot be a scenario.
std::optional<std::string> read_text(const std::string& path, std::string& text) {
    const std::string name = "the scenario " + quoted_argument(path.c_str(), 200);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return "cannot read " + name + ": " + std::strerror(errno);
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0 && text.size() <= LARGEST_SCENARIO) {
        text.append(buffer, n);
    }
    const int read_errno = errno;
    const bool failed = std::ferror(file);
    std::fclose(file);
    if (failed) return "cannot read " + name + ": " + std::strerror(read_errno);
    if (text.size() > LARGEST_SCENARIO) return name + " is larger than 1 MB, too large for a scenario";
    return std::nullopt;
}

std::optional<std::string> read_into(const std::string& path, Draft& draft) {
    std::string text;
    if (auto problem = read_text(path, text)) return problem;
    toml::table root;
    try {
        root = toml::parse(text, path);
    } catch (const toml::parse_error& e) {
        return path_text(path) + ":" + std::to_string(e.source().begin.line) + ": " + std::string(e.description());
    }
    for (const auto& [key, node] : root) {
        const std::string name(key.str());
        const std::string origin = from_file(path, key.source(), name);
        std::optional<std::string> problem;
        if (name == "world") {
            const toml::table* table = node.as_table();
            problem = table ? read_world_table(*table, path, draft) : std::optional(origin + " must be a [world] table");
        } else if (name == "source") {
            problem = read_sources(node, origin, path, draft);
        } else {
            problem = from_file(path, key.source(), "unknown key '" + name + "'");
        }
        if (problem) return problem;
    }
    return std::nullopt;
}

// A value of the command line, checked by rule; a problem names the option and echoes the value.
template <typename Rule>
std::optional<std::string> option_int(const std::string& option, const std::string& text, Rule rule, int& into) {
    const auto value = whole_number(text);
    const auto problem = value ? rule(*value) : std::optional<std::string>("must be a whole number");
    if (problem) return option + " " + *problem + ", not " + quoted_argument(text.c_str());
    into = int(*value);
    return std::nullopt;
}

std::optional<std::string> option_float(const std::string& option, const std::string& text,
                                        std::optional<std::string> (*rule)(double), float& into) {
    const auto value = number(text);
    const auto problem = value ? float_problem(rule, *value) : std::optional<std::string>("must be a number");
    if (problem) return option + " " + *problem + ", not " + quoted_argument(text.c_str());
    into = float(*value);
    return std::nullopt;
}

// --size COLUMNSxROWS, or N for N x N.
std::optional<std::string> option_size(const std::string& text, World& w) {
    const std::size_t x = text.find('x');
    const std::string columns = text.substr(0, x), rows = x == std::string::npos ? columns : text.substr(x + 1);
    int c = 0, r = 0;
    if (option_int("--size", columns, size_problem, c) || option_int("--size", rows, size_problem, r)) {
        return "--size must be COLUMNSxROWS or N, each a whole number from 1 to 2147483647, not " +
               quoted_argument(text.c_str());
    }
    w.columns = c;
    w.rows = r;
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

// --source X,Y,PLANE,SMOKE
std::optional<std::string> option_source(const std::string& text, Source& s) {
    const std::vector<std::string> fields = comma_separated(text);
    const std::string option = "--source " + quoted_argument(text.c_str()) + ":";
    if (fields.size() != 4) return option + " must be X,Y,PLANE,SMOKE";
    if (auto p = option_int(option + " X", fields[0], any_int, s.column)) return p;
    if (auto p = option_int(option + " Y", fields[1], any_int, s.row)) return p;
    if (auto p = option_int(option + " PLANE", fields[2], any_int, s.plane)) return p;
    return option_float(option + " SMOKE", fields[3], smoke_problem, s.smoke);
}

std::string memory_text(unsigned long long bytes) {
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

std::string world_size_text(const World& w) {
    return std::to_string(w.columns) + " x " + std::to_string(w.rows) + " x " + std::to_string(w.planes);
}

// The world as a whole: its sources and report row inside it, and room for it in memory.
std::optional<std::string> whole_world_problem(const Draft& draft) {
    const World& w = draft.world;
    for (std::size_t i = 0; i < w.sources.size(); ++i) {
        if (!source_problem(w, w.sources[i])) continue;
        if (draft.source_origins[i].empty()) {
            return "the default source 25,49,0,0.42 lies outside the " + world_size_text(w) +
                   " world: give one with --source X,Y,PLANE,SMOKE";
        }
        return draft.source_origins[i] + " " + *source_problem(w, w.sources[i]) + " in the " + world_size_text(w) +
               " world";
    }
    if (const auto problem = report_row_problem(w, w.report_row)) {
        if (draft.report_row_origin.empty()) {
            return "the default report row 9 lies outside the " + world_size_text(w) +
                   " world: give one with --report-row R";
        }
        return draft.report_row_origin + " " + *problem;
    }
    const std::optional<std::uint64_t> cells = cell_count(w);
    const std::optional<unsigned long long> available = available_memory();
    const std::uint64_t needed = cells ? lattice_bytes(*cells) : std::numeric_limits<std::uint64_t>::max();
    if (!cells || (available && needed > *available)) {
        return "the " + world_size_text(w) + " world needs " +
               (cells ? memory_text(needed) + " of memory" : std::string("more memory than can be counted")) + ", and " +
               (available ? memory_text(*available) : std::string("less")) + " is available";
    }
    return std::nullopt;
}

}  // namespace

WorldOptions::WorldOptions(CLI::App& app) {
    app.add_option("--size", size_, "cells per row and per column, or N for N x N (default 50)")
        ->type_name("COLUMNSxROWS");
    app.add_option("--planes", planes_, "planes stacked along z (default 1)")
        ->type_name("N");
    app.add_option("--tau", tau_, "relaxation time, above 0 (default 0.56)")->type_name("T");
    app.add_option("--speed", speed_, "lattice speed, at least 0 (default 0.5)")->type_name("S");
    app.add_option("--source", sources_, "seed smoke into a cell; repeatable (default 25,49,0,0.42)")
        ->type_name("X,Y,PLANE,SMOKE")
        ->take_all();
    app.add_option("--report-row", report_row_, "the row of plane 0 that the report reads (default 9)")
        ->type_name("R");
    app.add_option("--scenario", scenario_, "read the world from a TOML file; options override it")
        ->type_name("FILE");
    app.add_flag("--print-scenario", print_scenario, "print the world as a scenario file, then end");
}

namespace {

class HelpLayout : public CLI::Formatter {
public:
    explicit HelpLayout(std::string usage) : usage_(std::move(usage)) { column_width(28); }
    // CLI11 puts the description first; the usage line leads here.
    std::string make_description(const CLI::App*) const override { return ""; }
    std::string make_usage(const CLI::App* app, std::string) const override {
        return usage_ + "\n\n" + app->get_description() + "\n";
    }

private:
    std::string usage_;
};

}  // namespace

void set_help_layout(CLI::App& app, const std::string& usage) { app.formatter(std::make_shared<HelpLayout>(usage)); }

std::optional<World> WorldOptions::world(std::string& problem) const {
    Draft draft;
    World& w = draft.world;
    std::optional<std::string> p;
    if (scenario_) p = read_into(*scenario_, draft);
    if (!p && size_) p = option_size(*size_, w);
    if (!p && planes_) p = option_int("--planes", *planes_, size_problem, w.planes);
    if (!p && tau_) p = option_float("--tau", *tau_, tau_problem, w.tau);
    if (!p && speed_) p = option_float("--speed", *speed_, speed_problem, w.speed);
    if (!p && report_row_) {
        p = option_int("--report-row", *report_row_, any_int, w.report_row);
        draft.report_row_origin = "--report-row " + quoted_argument(report_row_->c_str());
    }
    if (!p && !sources_.empty()) {
        w.sources.clear();
        draft.source_origins.clear();
        for (const std::string& text : sources_) {
            Source s{};
            if ((p = option_source(text, s))) break;
            w.sources.push_back(s);
            draft.source_origins.push_back("--source " + quoted_argument(text.c_str()) + ":");
        }
    }
    if (!p) p = whole_world_problem(draft);
    if (p) {
        problem = *p;
        return std::nullopt;
    }
    return w;
}

std::optional<std::string> read_place(const std::string& option, const std::string& text, const World& world,
                                      Place& place) {
    const std::vector<std::string> fields = comma_separated(text);
    const std::string origin = option + " " + quoted_argument(text.c_str()) + ":";
    if (fields.size() != 3) return origin + " must be X,Y,PLANE";
    if (auto p = option_int(origin + " X", fields[0], any_int, place.column)) return p;
    if (auto p = option_int(origin + " Y", fields[1], any_int, place.row)) return p;
    if (auto p = option_int(origin + " PLANE", fields[2], any_int, place.plane)) return p;
    if (auto p = place_problem(world, place)) return origin + " " + *p + " in the " + world_size_text(world) + " world";
    return std::nullopt;
}

bool read_scenario(const std::string& path, World& world, std::string& problem) {
    Draft draft;
    draft.world = world;
    if (const auto p = read_into(path, draft)) {
        problem = *p;
        return false;
    }
    world = draft.world;
    return true;
}

namespace {

// A float as TOML text that reads back, through double, as the same float: the shortest text when
// that does, the double's otherwise; always with a point or an exponent, so that it stays a float.
std::string toml_float(float value) {
    std::string text = float_text(value);
    if (float(std::strtod(text.c_str(), nullptr)) != value) {
        char buffer[32];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, double(value));
        text.assign(buffer, result.ptr);
    }
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

std::optional<unsigned long long> available_memory() {
    std::optional<unsigned long long> available;
    std::ifstream meminfo("/proc/meminfo");
    std::string name;
    unsigned long long kilobytes;
    while (meminfo >> name >> kilobytes) {
        if (name == "MemAvailable:") available = kilobytes * 1024;
        meminfo.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
    for (const int resource : {RLIMIT_AS, RLIMIT_DATA}) {
        rlimit limit;
        if (getrlimit(resource, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
            available = std::min<unsigned long long>(available.value_or(limit.rlim_cur), limit.rlim_cur);
        }
    }
    return available;
}
