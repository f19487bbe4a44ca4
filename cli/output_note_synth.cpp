#include "cli/output_note.h"

#include "library/midi/synth_device.h"

namespace tambelo::cli {

std::string output_note(const std::string& name, MidiDevice* device)
{
    const std::string chosen_soundfont = name.rfind("synth:", 0) == 0 ? name.substr(6) : "";
    if (auto* synth = dynamic_cast<SynthDevice*>(device);
        synth && !chosen_soundfont.empty() && synth->soundfont() != chosen_soundfont)
        return "SoundFont \"" + chosen_soundfont + "\" could not be used; playing with \"" +
               synth->soundfont() + "\"";
    return {};
}

}  // namespace tambelo::cli
