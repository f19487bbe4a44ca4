#include "library/live_output.h"

#include "library/midi/winmm_device.h"
#include "tambelo/live_player.h"

namespace tambelo {

std::vector<std::string> opened_output_notes(const std::string&, MidiDevice*)
{
    return {};
}

std::string opened_output_sound(MidiDevice*)
{
    return {};
}

bool device_output_lost(const MidiDevice*)
{
    return false;
}

std::vector<std::string> midi_output_ports()
{
    return list_winmm_outputs();
}

}  // namespace tambelo
