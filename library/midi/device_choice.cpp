#include "library/midi/device_choice.h"

#include "library/midi/device_kinds.h"

#include <cstdlib>
#include <string_view>

namespace tambelo {

std::unique_ptr<MidiDevice> open_named_device(const std::string& name, std::string* why)
{
    const std::string_view whole(name);
    const std::size_t colon = whole.find(':');
    const std::string_view prefix = whole.substr(0, colon);
    const bool has_argument = colon != std::string_view::npos;
    const std::string argument = has_argument ? name.substr(colon + 1) : std::string();

    for (const DeviceKind& kind : device_kinds()) {
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
        *why = "unknown output device \"" + name + "\" (choose " + std::string(device_names_help()) + ")";
    return nullptr;
}

std::string default_device_name()
{
    const char* chosen = std::getenv("TAMBELO_MIDI_OUT");
    if (chosen && *chosen)
        return chosen;
    return std::string(default_device_kind());
}

}  // namespace tambelo
