#include "common/world_draft.h"

#include <cmath>

#include "common/command_line.h"
#include "common/float_text.h"
#include "common/standard_streams.h"

namespace {

using IntRule = std::optional<std::string> (*)(long long);
using FloatRule = std::optional<std::string> (*)(double);

std::string refusal(const Given& given, const std::string& problem) {
    return given.origin + " " + problem + (given.from_file ? "" : ", not " + quoted_argument(given.text.c_str()));
}

std::optional<std::string> convert(const Given& given, IntRule rule, int& into) {
    const std::optional<long long> value = given.from_file ? given.integer : parse_number<long long>(given.text);
    if (!value) return refusal(given, "must be a whole number");
    if (const auto problem = rule(*value)) return refusal(given, *problem);
    into = int(*value);
    return std::nullopt;
}

// A number as the model holds it: the decimal rounded to double, as a TOML reader rounds it, then to
// float, so that a value means the same on the command line and in a file.
std::optional<std::string> convert(const Given& given, FloatRule rule, float& into) {
    const std::optional<double> value = given.from_file ? given.number : parse_number<double>(given.text);
    if (!value) return refusal(given, "must be a number");
    const float f = float(*value);
    if (std::isfinite(*value) && !std::isfinite(f)) return refusal(given, "must fit in a 32-bit float");
    if (const auto problem = rule(f)) {
        return refusal(given, (*value != 0 && f == 0 ? "rounds to 0 as a 32-bit float, and " : "") + *problem);
    }
    into = f;
    return std::nullopt;
}

std::optional<std::string> index_problem_in(const World& w, const Given& given, int value, int count) {
    if (const auto problem = index_problem(value, count)) {
        return refusal(given, *problem + " in the " + size_text(w) + " world");
    }
    return std::nullopt;
}

std::string source_text(const Source& s) {
    return std::to_string(s.column) + "," + std::to_string(s.row) + "," + std::to_string(s.plane) + "," +
           float_text(s.smoke);
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

std::optional<std::string> build_source(const World& w, const GivenSource& given, Source& s) {
    const std::pair<const std::optional<Given>*, int*> places[] = {
        {&given.column, &s.column}, {&given.row, &s.row}, {&given.plane, &s.plane}};
    for (const auto& [value, into] : places) {
        if (*value) {
            if (auto p = convert(**value, whole_number_problem, *into)) return p;
        }
    }
    if (given.smoke) {
        if (auto p = convert(*given.smoke, smoke_problem, s.smoke)) return p;
    }
    // A value left to the default is named by the source itself.
    const auto named = [&](const std::optional<Given>& value, const char* name) {
        Given defaulted;
        defaulted.origin = given.origin + " " + name;
        defaulted.from_file = true;  // named without a text of its own
        return value ? *value : defaulted;
    };
    if (auto p = index_problem_in(w, named(given.column, "column"), s.column, w.columns)) return p;
    if (auto p = index_problem_in(w, named(given.row, "row"), s.row, w.rows)) return p;
    return index_problem_in(w, named(given.plane, "plane"), s.plane, w.planes);
}

// The sources as given, checked alone and against the world.
std::optional<std::string> build_sources(const Draft& draft, World& w) {
    if (!draft.sources) {
        for (const Source& s : w.sources) {
            if (place_problem(w, {s.column, s.row, s.plane})) {
                return "the default source " + source_text(s) + " lies outside the " + size_text(w) +
                       " world: give one with --source X,Y,PLANE,SMOKE";
            }
        }
        return std::nullopt;
    }
    w.sources.clear();
    for (const GivenSource& given : *draft.sources) {
        Source s = World().sources[0];
        if (auto p = build_source(w, given, s)) return p;
        w.sources.push_back(s);
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> build_world(const Draft& draft, World& w) {
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
        if (auto p = convert(*row, whole_number_problem, w.report_row)) return p;
    }
    if (const auto problem = report_row_problem(w, w.report_row)) {
        if (!row) {
            return "the default report row " + std::to_string(REPORT_ROW) + " lies outside the " + size_text(w) +
                   " world: give one with --report-row R";
        }
        return refusal(*row, *problem);
    }
    return std::nullopt;
}

std::optional<std::string> read_fields(const std::string& option, const std::string& text, const char* form,
                                       std::vector<Given>& fields) {
    const std::string origin = option + " " + quoted_argument(text.c_str()) + ":";
    const std::vector<std::string> parts = comma_separated(text);
    const std::vector<std::string> names = comma_separated(form);
    if (parts.size() != names.size()) return origin + " must be " + form;
    for (std::size_t i = 0; i < parts.size(); ++i) fields.push_back(given_text(origin + " " + names[i], parts[i]));
    return std::nullopt;
}

std::optional<std::string> read_place(const std::string& option, const std::string& text, const World& world,
                                      Place& place) {
    std::vector<Given> fields;
    if (auto p = read_fields(option, text, "X,Y,PLANE", fields)) return p;
    if (auto p = convert(fields[0], whole_number_problem, place.column)) return p;
    if (auto p = convert(fields[1], whole_number_problem, place.row)) return p;
    if (auto p = convert(fields[2], whole_number_problem, place.plane)) return p;
    if (auto p = index_problem_in(world, fields[0], place.column, world.columns)) return p;
    if (auto p = index_problem_in(world, fields[1], place.row, world.rows)) return p;
    return index_problem_in(world, fields[2], place.plane, world.planes);
}
