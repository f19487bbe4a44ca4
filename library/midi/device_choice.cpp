#include "library/midi/device_choice.h"

#include "library/midi/null_device.h"
#include "library/midi/port_device.h"
#include "library/midi/synth_device.h"

#include <cstdlib>
#include <string_view>

namespace tambelo {
namespace {

using Opener = std::unique_ptr<MidiDevice> (*)(const std::string& argument, std::string* why);

// Every output device a name can choose. A name is the entry's prefix,
// alone or followed by ':' and the device's argument.
struct DeviceKind {
    std::string_view prefix;
    bool takes_argument;  // "port" needs one; "synth" may have one
    bool needs_argument;
    Opener open;
};

constexpr DeviceKind device_kinds[] = {
    {"none", false, false,
     [](const std::string&, std::string*) -> std::unique_ptr<MidiDevice> {
         return std::make_unique<NullDevice>();
     }},
    {"synth", true, false,
     [](const std::string& soundfont, std::string* why) -> std::unique_ptr<MidiDevice> {
         return SynthDevice::open(soundfont, why);
     }},
    {"port", true, true,
     [](const std::string& name_part, std::string* why) -> std::unique_ptr<MidiDevice> {
         return PortDevice::open(name_part, why);
     }},
};

}  // namespace

std::unique_ptr<MidiDevice> open_named_device(const std::string& name, std::string* why)
{
    const std::string_view whole(name);
    const std::size_t colon = whole.find(':');
    const std::string_view prefix = whole.substr(0, colon);
    const bool has_argument = colon != std::string_view::npos;
    const std::string argument = has_argument ? name.substr(colon + 1) : std::string();

    for (const DeviceKind& kind : device_kinds) {
        if (kind.prefix != prefix)
            continue;
        if ((has_argument && !kind.takes_argument) || (kind.needs_argument && argument.empty()))
            break;
        try {
            return kind.open(argument, why);
        } catch (...) {
            // A device library that throws still must not end playback.
            if (why)
                *why = "output device \"" + name + "\" failed while opening";
            return nullptr;
        }
    }
    if (why)
        *why = "unknown output device \"" + name +
               "\" (choose synth, synth:SOUNDFONT, port:NAME or none)";
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
