#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

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

// The channels a command leaves out, as --mute and --solo name them (score
// channels 0 to 8, as the score and `dump` number them).
struct ChannelChoice {
    std::vector<int> mute;
    std::vector<int> solo;
    // Bit k: channel k is muted (named by --mute, or not named by --solo).
    std::uint16_t muted() const;
};
void add_channel_options(CLI::App& command, ChannelChoice& choice);

// Tells the user what went wrong, in one line on stderr, and ends the
// command with a non-zero exit status.
[[noreturn]] inline void fail(const std::string& message, int exit_code = 1)
{
    std::cerr << "tambelo-cli: " << message << '\n';
    throw CLI::RuntimeError(exit_code);
}

}  // namespace tambelo::cli
