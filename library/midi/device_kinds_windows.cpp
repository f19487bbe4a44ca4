#include "library/midi/device_kinds.h"

#include "library/midi/null_device.h"
#include "library/midi/sound_system.h"
#include "library/midi/winmm_device.h"

namespace tambelo {
namespace {

constexpr DeviceKind kinds[] = {
    {"mapper", false, false,
     [](const std::string&, std::string* why) -> std::unique_ptr<MidiDevice> {
         return WinmmDevice::open_mapper(why);
     }},
    {"port", true, true,
     [](const std::string& name_part, std::string* why) -> std::unique_ptr<MidiDevice> {
         return WinmmDevice::open_port(name_part, why);
     }},
    {"none", false, false,
     [](const std::string&, std::string*) -> std::unique_ptr<MidiDevice> {
         return std::make_unique<NullDevice>();
     }},
};

}  // namespace

std::span<const DeviceKind> device_kinds()
{
    return kinds;
}

std::string_view default_device_kind()
{
    return "mapper";
}

std::string_view device_names_help()
{
    return "mapper, port:NAME or none";
}

std::vector<PlayedSoundFont> embedded_synth_soundfonts(const std::string&)
{
    return {};
}

// The Windows MIDI outputs install no process-wide handlers, so releasing
// the library has nothing to put back.
void restore_sound_libraries() {}

}  // namespace tambelo
