#include "library/midi/device_choice.h"

#include "library/midi/null_device.h"

#include <cstdlib>

namespace tambelo {

std::unique_ptr<MidiDevice> open_named_device(const std::string& name, std::string* why)
{
    if (name == "none")
        return std::make_unique<NullDevice>();
    // No sound output is built in yet: every other name falls back.
    if (why)
        *why = "no output device named \"" + name + "\" is available";
    return nullptr;
}

std::string default_device_name()
{
    const char* chosen = std::getenv("TAMBELO_MIDI_OUT");
    if (chosen && *chosen)
        return chosen;
    return "synth";
}

}  // namespace tambelo
