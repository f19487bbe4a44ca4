#include "cli/commands.h"
#include "cli/console.h"
#include "cli/help_text.h"
#include "cli/safe_text.h"

#include <exception>
#include <iostream>

int main(int argc, char** argv)
{
    tambelo::cli::prepare_console();
    CLI::App app{"tambelo-cli: play, inspect and convert the music sets of old Japanese PC games.\n"
                 "A music set is a score archive (amus.dat), a voice archive (amus.mda) and an\n"
                 "optional title list (amus.txt) in one folder."};
    app.require_subcommand(1);
    app.formatter(std::make_shared<tambelo::cli::WrappedHelpFormatter>());
    tambelo::cli::add_list_command(app);
    tambelo::cli::add_export_command(app);
    tambelo::cli::add_pack_command(app);
    tambelo::cli::add_dump_command(app);
    tambelo::cli::add_trace_command(app);
    tambelo::cli::add_play_command(app);
    tambelo::cli::add_ports_command(app);
    try {
        CLI11_PARSE(app, argc, argv);
    } catch (const std::exception& error) {
        // A command reports its own failures in words; this only keeps an
        // unforeseen one from ending the program with an abort.
        std::cerr << "tambelo-cli: " << tambelo::escaped_text(error.what()).substr(0, 300) << '\n';
        return 1;
    }
    return 0;
}
