#include "library/midi/port_device.h"

#include "library/midi/jack_port_output.h"
#include "library/midi/sequencer_port_output.h"
#include "library/midi/sound_system.h"

namespace tambelo {

PortDevice::PortDevice(std::unique_ptr<PortOutput> out, std::string port_name)
    : out_(std::move(out)), port_name_(std::move(port_name))
{
}

PortDevice::~PortDevice() = default;

std::unique_ptr<PortDevice> PortDevice::open(const std::string& name_part, std::string* why)
{
    silence_sound_libraries();
    bool any_system = false;
    for (PortSearch (*search_in)(const std::string&) : {open_jack_port, open_sequencer_port}) {
        PortSearch found = search_in(name_part);
        any_system = any_system || found.system_running;
        if (found.port_name.empty())
            continue;
        if (!found.output) {
            if (why)
                *why = "MIDI port \"" + found.port_name + "\" could not be opened";
            return nullptr;
        }
        return std::unique_ptr<PortDevice>(new PortDevice(std::move(found.output), found.port_name));
    }
    if (why) {
        *why = any_system ? "no MIDI output port whose name contains \"" + name_part + "\""
                          : "no MIDI port named \"" + name_part +
                                "\": neither a JACK server nor the ALSA sequencer is running";
    }
    return nullptr;
}

bool PortDevice::send_short(std::uint32_t message)
{
    const unsigned char bytes[3] = {static_cast<unsigned char>(message & 0xFF),
                                    static_cast<unsigned char>((message >> 8) & 0xFF),
                                    static_cast<unsigned char>((message >> 16) & 0xFF)};
    if (bytes[0] < 0x80)
        return false;
    return out_->send(bytes, static_cast<std::size_t>(short_message_length(bytes[0])));
}

bool PortDevice::send_long(MidiHeader& header)
{
    if (!(header.flags.load() & midi_header_prepared) || !header.data ||
        header.bytes_recorded == 0 || header.bytes_recorded > header.buffer_length)
        return false;
    const bool sent = out_->send(header.data, header.bytes_recorded);
    header.flags.fetch_or(midi_header_done);
    return sent;
}

std::vector<std::string> list_output_ports()
{
    silence_sound_libraries();
    std::vector<std::string> names = jack_port_names();
    for (std::string& name : sequencer_port_names())
        names.push_back(std::move(name));
    return names;
}

}  // namespace tambelo
