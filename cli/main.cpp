#include "cli/commands.h"
#include "cli/console.h"

int main(int argc, char** argv)
{
    tambelo::cli::prepare_console();
    CLI::App app{"tambelo-cli: play, inspect and convert the music sets of old Japanese PC games.\n"
                 "A music set is a score archive (amus.dat), a voice archive (amus.mda) and an\n"
                 "optional title list (amus.txt) in one folder."};
    app.require_subcommand(1);
    tambelo::cli::add_list_command(app);
    tambelo::cli::add_export_command(app);
    tambelo::cli::add_pack_command(app);
    tambelo::cli::add_dump_command(app);
    tambelo::cli::add_trace_command(app);
    tambelo::cli::add_play_command(app);
    tambelo::cli::add_ports_command(app);
    CLI11_PARSE(app, argc, argv);
    return 0;
}
