#pragma once

#include <CLI/CLI.hpp>

#include <iostream>
#include <string>

namespace tambelo::cli {

// Each subcommand registers itself on the application and runs from its own
// callback. A command that fails prints one line on stderr and exits with a
// non-zero status via CLI::RuntimeError.
void add_list_command(CLI::App& app);
void add_export_command(CLI::App& app);
void add_pack_command(CLI::App& app);
void add_import_command(CLI::App& app);
void add_dump_command(CLI::App& app);
void add_trace_command(CLI::App& app);
void add_play_command(CLI::App& app);
void add_ports_command(CLI::App& app);

// Tells the user what went wrong, in one line on stderr, and ends the
// command with a non-zero exit status.
[[noreturn]] inline void fail(const std::string& message, int exit_code = 1)
{
    std::cerr << "tambelo-cli: " << message << '\n';
    throw CLI::RuntimeError(exit_code);
}

}  // namespace tambelo::cli
