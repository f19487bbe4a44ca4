#include "library/live_output.h"

#include "library/midi/port_device.h"
#include "library/midi/synth_device.h"
#include "tambelo/live_player.h"

namespace tambelo {

std::vector<std::string> opened_output_notes(const std::string& name, MidiDevice* device)
{
    auto* synth = dynamic_cast<SynthDevice*>(device);
    if (!synth)
        return {};
    const std::string chosen_soundfont = name.rfind("synth:", 0) == 0 ? name.substr(6) : "";
    if (chosen_soundfont.empty() || synth->soundfont() == chosen_soundfont)
        return {};
    return {"SoundFont \"" + chosen_soundfont + "\" could not be used; playing with \"" + synth->soundfont() +
            "\""};
}

std::string opened_output_sound(MidiDevice* device)
{
    auto* synth = dynamic_cast<SynthDevice*>(device);
    if (!synth)
        return {};
    return (synth->soundfonts().size() > 1 ? "SoundFonts " : "SoundFont ") +
           soundfont_stack_text(synth->soundfonts());
}

bool device_output_lost(const MidiDevice* device)
{
    const auto* synth = dynamic_cast<const SynthDevice*>(device);
    return synth && synth->output_lost();
}

std::vector<std::string> midi_output_ports()
{
    return list_output_ports();
}

}  // namespace tambelo
