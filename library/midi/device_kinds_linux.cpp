#include "library/midi/device_kinds.h"

#include "library/midi/fluid_synth_setup.h"
#include "library/midi/null_device.h"
#include "library/midi/port_device.h"
#include "library/midi/synth_device.h"

namespace tambelo {
namespace {

constexpr DeviceKind kinds[] = {
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

std::span<const DeviceKind> device_kinds()
{
    return kinds;
}

std::string_view default_device_kind()
{
    return "synth";
}

std::string_view device_names_help()
{
    return "synth, synth:SOUNDFONT, port:NAME or none";
}

std::vector<PlayedSoundFont> embedded_synth_soundfonts(const std::string& chosen)
{
    std::vector<PlayedSoundFont> played;
    for (std::string& path : soundfonts_to_play(chosen))
        if (auto presets = read_soundfont_presets(path))
            played.push_back({std::move(path), std::move(*presets)});
    return played;
}

}  // namespace tambelo
