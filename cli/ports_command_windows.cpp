#include "cli/commands.h"

#include "tambelo/live_player.h"

namespace tambelo::cli {

void add_ports_command(CLI::App& app)
{
    auto* command = app.add_subcommand(
        "ports", "List the MIDI outputs that --output port:NAME can choose (besides the MIDI mapper)");
    command->callback([] {
        const std::vector<std::string> ports = midi_output_ports();
        if (ports.empty()) {
            std::cout << "no MIDI outputs (the system reports none; the MIDI mapper may still play)\n";
            return;
        }
        for (const std::string& name : ports)
            std::cout << name << '\n';
    });
}

}  // namespace tambelo::cli
