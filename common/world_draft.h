// A world's settings as given, on the command line or in a scenario file, each with where it came
// from, and the world they make once each one is checked.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "lattice/world.h"

// A value given for a setting, and how a message names where it came from ("--tau",
// "FILE:LINE: tau"). The command line gives text; a file gives a typed value, or one of another type.
struct Given {
    std::string origin;
    std::string text;
    bool from_file = false;
    std::optional<long long> integer;  // a file's integer
    std::optional<double> number;      // a file's number, an integer included
};

// A value given as text on the command line.
inline Given given_text(std::string origin, std::string text) {
    Given g;
    g.origin = std::move(origin);
    g.text = std::move(text);
    return g;
}

// A source as given; a value not given is the default source's, and a message names it by the
// source's origin ("FILE:LINE: source").
struct GivenSource {
    std::string origin;
    std::optional<Given> column, row, plane, smoke;
};

// Each setting given overrides the default, by the scenario file's key ("columns", "tau", ...).
struct Draft {
    std::map<std::string, Given> settings;
    std::optional<std::vector<GivenSource>> sources;  // nothing: the default source
};

// The world from a draft over the defaults: each setting checked where it was given, then the
// sources and the report row against the world. On a problem, one line that names it.
std::optional<std::string> build_world(const Draft& draft, World& world);

// The comma-separated fields of an option's value, named by form ("X,Y,PLANE,SMOKE").
std::optional<std::string> read_fields(const std::string& option, const std::string& text, const char* form,
                                       std::vector<Given>& fields);

// A cell given as "X,Y,PLANE" to option, inside world; otherwise a problem naming the option and text.
std::optional<std::string> read_place(const std::string& option, const std::string& text, const World& world,
                                      Place& place);
