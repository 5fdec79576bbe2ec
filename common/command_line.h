// What both programs do with a command line besides the world: help in their own layout, CLI11's
// refusals in their own words, and numbers read whole.
#pragma once

#include <charconv>
#include <optional>
#include <string>
#include <type_traits>

#include "common/float_text.h"

namespace CLI {
class App;
class ParseError;
}  // namespace CLI

// Help as the programs lay it out: their usage line, their description, then the options as CLI11
// lists them.
void set_help_layout(CLI::App& app, const std::string& usage);

// A refusal of CLI11's, in parsing app, as one line in the programs' own words: "--tau is given
// more than once", "unexpected argument 'x'".
std::string command_line_problem(const CLI::App& app, const CLI::ParseError& error);

// The whole text as a number: an optional sign ('+' too, as people write it), nothing around it.
template <typename T>
std::optional<T> parse_number(const std::string& text) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+' && end - begin > 1 && begin[1] != '-' && begin[1] != '+') ++begin;
    // A standard library without the floating-point from_chars has float_text's reader.
    if constexpr (std::is_floating_point_v<T>) {
        return read_double(std::string(begin, end));
    } else {
        T value;
        const auto [stop, error] = std::from_chars(begin, end, value);
        if (error != std::errc() || stop != end) return std::nullopt;
        return value;
    }
}
