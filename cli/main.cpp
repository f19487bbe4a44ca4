#include "cli/commands.h"
#include "cli/console.h"
#include "cli/help_text.h"
#include "cli/safe_text.h"

#include <exception>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    tambelo::cli::prepare_console();
    CLI::App app{"tambelo-cli: play, inspect and convert the music sets of old Japanese PC games.\n"
                 "A music set is a score archive (amus.dat), a voice archive (amus.mda) and an\n"
                 "optional title list (amus.txt) in one folder."};
    app.require_subcommand(1);
    // Options are written -x or --name on every system. CLI11 on Windows
    // would also take /name for one, and so a root-relative path such as
    // /Games/x/amus.dat (as PowerShell and Unix-like shells write it) for an
    // unknown option; the subcommands inherit this setting.
    app.allow_windows_style_options(false);
    app.formatter(std::make_shared<tambelo::cli::WrappedHelpFormatter>());
    app.set_version_flag("--version", "tambelo-cli " TAMBELO_VERSION, "Print the version and exit");
    tambelo::cli::add_list_command(app);
    tambelo::cli::add_export_command(app);
    tambelo::cli::add_pack_command(app);
    tambelo::cli::add_import_command(app);
    tambelo::cli::add_dump_command(app);
    tambelo::cli::add_trace_command(app);
    tambelo::cli::add_play_command(app);
    tambelo::cli::add_ports_command(app);
    std::vector<std::string> words = tambelo::cli::command_line_words(argc, argv);
    if (words.size() <= 1 && tambelo::cli::has_console_of_its_own()) {
        // Started by a double click: the console would close before anyone
        // could read why nothing happened.
        std::cout << app.help() << "\nOpen a command prompt in this folder to use it, for example:\n"
                  << "  tambelo-cli play amus.dat\n\nPress Enter to close this window." << std::flush;
        tambelo::cli::wait_for_enter();
        return 0;
    }
    std::vector<char*> word_pointers;
    for (std::string& word : words)
        word_pointers.push_back(word.data());
    try {
        CLI11_PARSE(app, static_cast<int>(word_pointers.size()), word_pointers.data());
    } catch (const std::exception& error) {
        // A command reports its own failures in words; this only keeps an
        // unforeseen one from ending the program with an abort.
        std::cerr << "tambelo-cli: " << tambelo::escaped_text(error.what()).substr(0, 300) << '\n';
        return 1;
    }
    return 0;
}
