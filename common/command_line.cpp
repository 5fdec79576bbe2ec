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

bool has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

}  // namespace

void set_help_layout(CLI::App& app, const std::string& usage) { app.formatter(std::make_shared<HelpLayout>(usage)); }

std::string command_line_problem(const CLI::ParseError& error) {
    const std::string what = error.what();
    const std::string option = what.substr(0, what.find(':'));
    // CLI11's texts, as version 2 words them.
    if (dynamic_cast<const CLI::ExtrasError*>(&error)) {
        const std::string extras = what.substr(what.find(':') + 2);
        return "unexpected argument " + quoted_argument(extras.c_str());
    }
    if (has(what, "At Most 1 required but received")) return option + " is given more than once";
    if (has(what, "disallowed flag override")) return "--" + what.substr(0, what.find(' ')) + " takes no value";
    if (has(what, "required") && has(what, "missing")) return option + " needs a value";
    return what;
}
