#include "common/world_draft.h"

#include <cmath>
#include <set>
#include <tuple>

#include "common/command_line.h"
#include "common/float_text.h"
#include "common/standard_streams.h"
#include "fluid/setup.h"

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

// A number the fluid holds in double: the decimal rounded once, on the command line as in a file.
std::optional<std::string> convert_double(const Given& given, FloatRule rule, double& into) {
    const std::optional<double> value = given.from_file ? given.number : parse_number<double>(given.text);
    if (!value) return refusal(given, "must be a number");
    if (const auto problem = rule(*value)) return refusal(given, *problem);
    into = *value;
    return std::nullopt;
}

// Three finite numbers, then the rule on the whole vector.
std::optional<std::string> convert_vector(const Given& given, std::optional<std::string> (*rule)(const fluid::Vec3&),
                                          fluid::Vec3& into) {
    if (!given.array || given.items.size() != 3) {
        return refusal(given, given.from_file ? "must be an array of three numbers [X, Y, Z]" : "must be X,Y,Z");
    }
    fluid::Vec3 v;
    double* parts[] = {&v.x, &v.y, &v.z};
    for (int i = 0; i < 3; ++i) {
        if (auto p = convert_double(given.items[std::size_t(i)], fluid::finite_problem, *parts[i])) return p;
    }
    if (const auto problem = rule(v)) return refusal(given, *problem);
    into = v;
    return std::nullopt;
}

std::optional<std::string> finite_vector(const fluid::Vec3&) { return std::nullopt; }

// A file's text, or the command line's.
std::optional<std::string> text_of(const Given& given) {
    if (given.from_file) return given.string;
    return given.text;
}

const std::set<std::string> FLUID_SETTINGS = {"diffusivity", "buoyancy", "taylor_green", "force", "flow"};

std::optional<std::string> build_fluid(const Draft& draft, Scenario& scenario) {
    const World& w = scenario.world;
    // The world's size, relaxation and sources, which the fluid's rules check against.
    scenario.fluid = fluid_setup(scenario);
    fluid::Setup& f = scenario.fluid;
    const auto setting = [&](const char* key) -> const Given* {
        const auto found = draft.settings.find(key);
        return found == draft.settings.end() ? nullptr : &found->second;
    };
    if (const Given* g = setting("speed")) return g->origin + " applies only to the demonstration model";
    if (const Given* g = setting("tau")) {
        if (const auto problem = fluid::tau_problem(double(w.tau))) return refusal(*g, *problem + " for the fluid");
    }
    const std::tuple<const char*, FloatRule, double*> scalars[] = {
        {"diffusivity", fluid::diffusivity_problem, &f.diffusivity},
        {"buoyancy", fluid::finite_problem, &f.buoyancy},
        {"taylor_green", fluid::amplitude_problem, &f.taylor_green}};
    for (const auto& [key, rule, into] : scalars) {
        if (const Given* g = setting(key)) {
            if (auto p = convert_double(*g, rule, *into)) return p;
        }
    }
    if (const Given* g = setting("force")) {
        if (auto p = convert_vector(*g, finite_vector, f.force)) return p;
    }
    if (const Given* g = setting("flow")) {
        if (auto p = convert_vector(*g, fluid::velocity_problem, f.flow)) return p;
    }

    for (const auto& [face, given] : draft.faces) {
        fluid::Boundary& b = f.faces[std::size_t(face)];
        const std::optional<std::string> kind = text_of(given.kind);
        bool known = false;
        for (int k = 0; k < fluid::KIND_COUNT && kind; ++k) {
            if (*kind == fluid::KIND_NAMES[std::size_t(k)]) b.kind = fluid::Kind(k), known = true;
        }
        if (!known) return refusal(given.kind, "must be periodic, wall, inflow or outflow");
        if (given.velocity) {
            fluid::Vec3 v;
            if (auto p = convert_vector(*given.velocity, finite_vector, v)) return p;
            b.velocity = v;
        }
    }
    for (int face = 0; face < fluid::FACE_COUNT; ++face) {
        const auto problem = fluid::face_problem(f, fluid::Face(face));
        if (!problem) continue;
        // Named by the face given: itself, else its opposite, whose kind made it wrong.
        auto given = draft.faces.find(face);
        if (given == draft.faces.end()) given = draft.faces.find(int(fluid::opposite_face(fluid::Face(face))));
        const std::string name = std::string(fluid::FACE_NAMES[std::size_t(face)]) + " face ";
        if (given == draft.faces.end()) return "the default " + name + *problem;
        return given->second.origin + ": " + name + *problem;
    }

    if (draft.obstacles) {
        for (const GivenObstacle& o : *draft.obstacles) {
            if (o.disc) {
                fluid::Disc d{};
                double* parts[] = {&d.x, &d.y, &d.radius};
                for (int i = 0; i < 3; ++i) {
                    if (auto p = convert_double(o.values[std::size_t(i)], fluid::finite_problem, *parts[i])) return p;
                }
                if (const auto problem = fluid::disc_problem(f, d)) return o.origin + ": disc " + *problem;
                f.discs.push_back(d);
            } else {
                fluid::Box b{};
                int* parts[] = {&b.x0, &b.y0, &b.x1, &b.y1};
                for (int i = 0; i < 4; ++i) {
                    if (auto p = convert(o.values[std::size_t(i)], whole_number_problem, *parts[i])) return p;
                }
                if (const auto problem = fluid::box_problem(f, b)) return o.origin + ": box " + *problem;
                f.boxes.push_back(b);
            }
        }
    }

    if (draft.puffs) {
        for (const GivenSource& given : *draft.puffs) {
            const std::pair<const std::optional<Given>*, const char*> parts[] = {
                {&given.column, "column"}, {&given.row, "row"}, {&given.plane, "plane"}, {&given.smoke, "smoke"}};
            for (const auto& [value, name] : parts) {
                if (!*value) return given.origin + " needs a " + name;
            }
            Source s{};
            if (auto p = convert(*given.column, whole_number_problem, s.column)) return p;
            if (auto p = convert(*given.row, whole_number_problem, s.row)) return p;
            if (auto p = convert(*given.plane, whole_number_problem, s.plane)) return p;
            if (auto p = convert(*given.smoke, smoke_problem, s.smoke)) return p;
            if (auto p = index_problem_in(w, *given.column, s.column, w.columns)) return p;
            if (auto p = index_problem_in(w, *given.row, s.row, w.rows)) return p;
            if (auto p = index_problem_in(w, *given.plane, s.plane, w.planes)) return p;
            if (fluid::on_obstacle(f, s.column, s.row)) return given.origin + " " + source_text(s) + " lies on an obstacle";
            f.puffs.push_back({s.column, s.row, s.plane, s.smoke});
        }
    }
    for (std::size_t i = 0; i < w.sources.size(); ++i) {
        const Source& s = w.sources[i];
        if (!fluid::on_obstacle(f, s.column, s.row)) continue;
        const std::string origin = draft.sources ? (*draft.sources)[i].origin : "the default source";
        return origin + " " + source_text(s) + " lies on an obstacle";
    }
    // Every rule above is the fluid's own; this only keeps a rule added there from going unchecked.
    return fluid::setup_problem(fluid_setup(scenario));
}

// The first setting given that only the fluid takes, named where it was given.
std::optional<std::string> fluid_setting_given(const Draft& draft) {
    for (const auto& [key, given] : draft.settings) {
        if (FLUID_SETTINGS.count(key)) return given.origin;
    }
    if (!draft.faces.empty()) return draft.faces.begin()->second.origin;
    if (draft.obstacles && !draft.obstacles->empty()) return draft.obstacles->front().origin;
    if (draft.puffs && !draft.puffs->empty()) return draft.puffs->front().origin;
    return std::nullopt;
}

}  // namespace

bool fluid_only_setting(const std::string& key) { return FLUID_SETTINGS.count(key) > 0; }

std::optional<std::string> build_scenario(const Draft& draft, Scenario& scenario) {
    scenario = Scenario();
    if (const auto found = draft.settings.find("model"); found != draft.settings.end()) {
        const std::optional<std::string> name = text_of(found->second);
        bool known = false;
        for (int m = 0; m < 2 && name; ++m) {
            if (*name == MODEL_NAMES[m]) scenario.model = ModelKind(m), known = true;
        }
        if (!known) return refusal(found->second, "must be demo or fluid");
    }
    if (auto p = build_world(draft, scenario.world)) return p;
    if (scenario.model == ModelKind::fluid) return build_fluid(draft, scenario);
    if (const auto origin = fluid_setting_given(draft)) return *origin + " applies only to the fluid model";
    return std::nullopt;
}

std::optional<std::string> read_array(const std::string& option, const std::string& text, const char* form,
                                      Given& given) {
    given = given_text(option, text);
    given.array = true;
    // A count of parts other than the form's is said by convert_vector, with the whole value.
    if (read_fields(option, text, form, given.items)) given.items = {};
    return std::nullopt;
}

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
