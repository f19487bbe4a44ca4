#pragma once

// The tool's help laid out for an 80-column terminal: CLI11 writes each
// option's description on one line however long it is.

#include <CLI/CLI.hpp>

#include <string>

namespace tambelo::cli {

inline constexpr int help_columns = 80;

// Wraps every line of `text` longer than `columns` at blanks. Continuation
// lines start under the line's description: after the first gap of two or
// more blanks that follows the line's leading indent (an option's name and
// its description), else under the line's own indent.
std::string wrap_help_text(const std::string& text, int columns);

// CLI11's help, wrapped.
class WrappedHelpFormatter : public CLI::Formatter {
public:
    std::string make_help(const CLI::App* app, std::string name, CLI::AppFormatMode mode) const override
    {
        return wrap_help_text(CLI::Formatter::make_help(app, std::move(name), mode), help_columns);
    }
};

}  // namespace tambelo::cli
