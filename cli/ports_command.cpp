#include "cli/commands.h"

#include "tambelo/live_player.h"

namespace tambelo::cli {

void add_ports_command(CLI::App& app)
{
    auto* command = app.add_subcommand(
        "ports", "List the MIDI output ports that --output port:NAME can choose");
    command->callback([] {
        const std::vector<std::string> ports = midi_output_ports();
        if (ports.empty()) {
            std::cout << "no MIDI output ports (is a JACK server or the ALSA sequencer "
                         "running, and a synthesizer connected?)\n";
            return;
        }
        for (const std::string& name : ports)
            std::cout << name << '\n';
    });
}

}  // namespace tambelo::cli
