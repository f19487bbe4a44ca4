#include "cli/output_note.h"

#include "library/midi/synth_device.h"

namespace tambelo::cli {

std::string output_note(const std::string& name, MidiDevice* device)
{
    auto* synth = dynamic_cast<SynthDevice*>(device);
    if (!synth)
        return {};
    std::string note;
    const std::string chosen_soundfont = name.rfind("synth:", 0) == 0 ? name.substr(6) : "";
    if (!chosen_soundfont.empty() && synth->soundfont() != chosen_soundfont)
        note = "SoundFont \"" + chosen_soundfont + "\" could not be used; playing with \"" +
               synth->soundfont() + "\"";
    return note;
}

std::string output_sound(MidiDevice* device)
{
    auto* synth = dynamic_cast<SynthDevice*>(device);
    if (!synth)
        return {};
    return (synth->soundfonts().size() > 1 ? "SoundFonts " : "SoundFont ") +
           soundfont_stack_text(synth->soundfonts());
}

bool output_lost(const MidiDevice* device)
{
    const auto* synth = dynamic_cast<const SynthDevice*>(device);
    return synth && synth->output_lost();
}

}  // namespace tambelo::cli
