#include "common/command_line.h"

#include <memory>

#include <CLI/CLI.hpp>

#include "common/standard_streams.h"

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

// The three ways CLI11 finds an option's count of values wrong, each recognised as CLI11 itself
// words it for that option, rather than by pieces of its text.
std::optional<std::string> mismatch_problem(const CLI::App& app, const CLI::ArgumentMismatch& error) {
    const std::string what = error.what();
    for (const CLI::Option* option : app.get_options()) {
        const std::string name = option->get_name();
        if (what == CLI::ArgumentMismatch::AtMost(name, 1, option->count()).what()) {
            return name + " is given more than once";
        }
        if (what == CLI::ArgumentMismatch::TypedAtLeast(name, 1, option->get_type_name()).what()) {
            return name + " needs a value";
        }
        for (const std::string& flag : option->get_lnames()) {
            if (what == CLI::ArgumentMismatch::FlagOverride(flag).what()) return "--" + flag + " takes no value";
        }
    }
    return std::nullopt;
}

}  // namespace

void set_help_layout(CLI::App& app, const std::string& usage) { app.formatter(std::make_shared<HelpLayout>(usage)); }

std::string command_line_problem(const CLI::App& app, const CLI::ParseError& error) {
    if (dynamic_cast<const CLI::ExtrasError*>(&error)) {
        // In the order given, each quoted on its own; a flood of them named by its first few.
        constexpr std::size_t NAMED = 10;
        const std::vector<std::string> extras = app.remaining();
        std::string names;
        for (std::size_t i = 0; i < extras.size() && i < NAMED; ++i) {
            names += (i ? " " : "") + quoted_argument(extras[i].c_str());
        }
        if (extras.size() > NAMED) names += " and " + std::to_string(extras.size() - NAMED) + " more";
        return (extras.size() == 1 ? "unexpected argument " : "unexpected arguments ") + names;
    }
    if (const auto* mismatch = dynamic_cast<const CLI::ArgumentMismatch*>(&error)) {
        if (auto problem = mismatch_problem(app, *mismatch)) return *problem;
    }
    return error.what();
}
