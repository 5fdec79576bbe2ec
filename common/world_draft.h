// A world's settings as given, on the command line or in a scenario file, each with where it came
// from, and the world they make once each one is checked.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "lattice/world.h"
#include "models/scenario.h"

// A value given for a setting, and how a message names where it came from ("--tau",
// "FILE:LINE: tau"). The command line gives text; a file gives a typed value, or one of another type.
struct Given {
    std::string origin;
    std::string text;
    bool from_file = false;
    std::optional<long long> integer;  // a file's integer
    std::optional<double> number;      // a file's number, an integer included
    std::optional<std::string> string; // a file's string
    // A file's array, or the comma-separated parts of an option's value ("--flow 'X,Y,Z': UY").
    bool array = false;
    std::vector<Given> items;
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

// A face of the fluid's box as given: its kind and, for a moving wall or an inflow, its velocity.
// origin names it: "--boundary 'top=wall:0.1,0,0'", "FILE:LINE: boundary top".
struct GivenFace {
    std::string origin;
    Given kind;
    std::optional<Given> velocity;  // an array of three
};

// An obstacle as given: a disc's column, row and radius, or a box's X0, Y0, X1, Y1.
struct GivenObstacle {
    std::string origin;
    bool disc = true;
    std::vector<Given> values;
};

// Each setting given overrides the default, by the scenario file's key ("columns", "tau", ...):
// the fluid's vectors ("force", "flow") as arrays of three, "model" as text.
struct Draft {
    std::map<std::string, Given> settings;
    std::optional<std::vector<GivenSource>> sources;  // nothing: the default source
    std::map<int, GivenFace> faces;                   // by fluid::Face; a face not given is periodic
    std::optional<std::vector<GivenObstacle>> obstacles;
    std::optional<std::vector<GivenSource>> puffs;    // each with all four values
};

// The whole scenario from a draft: the model, the world as build_world makes it, then the fluid's
// settings, each checked where it was given and refused with the other model. On a problem, one line.
std::optional<std::string> build_scenario(const Draft& draft, Scenario& scenario);

// Settings that only one model takes, by the scenario file's key.
bool fluid_only_setting(const std::string& key);
// An option's comma-separated value as an array Given, its parts named by form ("X,Y,Z").
std::optional<std::string> read_array(const std::string& option, const std::string& text, const char* form,
                                      Given& given);

// The world from a draft over the defaults: each setting checked where it was given, then the
// sources and the report row against the world. On a problem, one line that names it.
std::optional<std::string> build_world(const Draft& draft, World& world);

// The comma-separated fields of an option's value, named by form ("X,Y,PLANE,SMOKE").
std::optional<std::string> read_fields(const std::string& option, const std::string& text, const char* form,
                                       std::vector<Given>& fields);

// A cell given as "X,Y,PLANE" to option, inside world; otherwise a problem naming the option and text.
std::optional<std::string> read_place(const std::string& option, const std::string& text, const World& world,
                                      Place& place);
