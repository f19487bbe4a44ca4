#include "library/midi/port_device.h"

#include "library/midi/sound_system.h"

#include <RtMidi.h>

namespace tambelo {
namespace {

// The MIDI systems to search, in order. A system is skipped when it is not
// running, so that RtMidi neither reports an error nor starts a server.
std::vector<RtMidi::Api> running_midi_systems()
{
    std::vector<RtMidi::Api> compiled;
    RtMidi::getCompiledApi(compiled);
    std::vector<RtMidi::Api> running;
    for (RtMidi::Api api : {RtMidi::UNIX_JACK, RtMidi::LINUX_ALSA, RtMidi::WINDOWS_MM}) {
        bool found = false;
        for (RtMidi::Api known : compiled)
            found = found || known == api;
        if (!found)
            continue;
        if (api == RtMidi::UNIX_JACK && !jack_server_running())
            continue;
        if (api == RtMidi::LINUX_ALSA && !alsa_sequencer_available())
            continue;
        running.push_back(api);
    }
    return running;
}

// Called by RtMidi instead of printing and throwing.
void note_port_error(RtMidiError::Type type, const std::string&, void* user_data)
{
    if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING)
        *static_cast<bool*>(user_data) = true;
}

std::unique_ptr<RtMidiOut> open_client(RtMidi::Api api)
{
    try {
        return std::make_unique<RtMidiOut>(api, "tambelo");
    } catch (const RtMidiError&) {
        return nullptr;
    }
}

}  // namespace

PortDevice::PortDevice(std::unique_ptr<RtMidiOut> out, std::string port_name)
    : out_(std::move(out)), port_name_(std::move(port_name))
{
    out_->setErrorCallback(note_port_error, &failed_);
}

PortDevice::~PortDevice()
{
    try {
        out_->closePort();
    } catch (const RtMidiError&) {
    }
}

std::unique_ptr<PortDevice> PortDevice::open(const std::string& name_part, std::string* why)
{
    silence_sound_libraries();
    const std::vector<RtMidi::Api> systems = running_midi_systems();
    for (RtMidi::Api api : systems) {
        std::unique_ptr<RtMidiOut> out = open_client(api);
        if (!out)
            continue;
        bool failed = false;
        out->setErrorCallback(note_port_error, &failed);
        try {
            const unsigned int count = out->getPortCount();
            for (unsigned int i = 0; i < count; ++i) {
                const std::string name = out->getPortName(i);
                if (name.empty() || name.find(name_part) == std::string::npos)
                    continue;
                failed = false;
                out->openPort(i, "tambelo out");
                if (failed || !out->isPortOpen()) {
                    if (why)
                        *why = "MIDI port \"" + name + "\" could not be opened";
                    return nullptr;
                }
                return std::unique_ptr<PortDevice>(new PortDevice(std::move(out), name));
            }
        } catch (const RtMidiError&) {
            continue;
        }
    }
    if (why) {
        *why = systems.empty()
                   ? "no MIDI port named \"" + name_part +
                         "\": neither a JACK server nor the ALSA sequencer is running"
                   : "no MIDI output port whose name contains \"" + name_part + "\"";
    }
    return nullptr;
}

bool PortDevice::send(const unsigned char* bytes, std::size_t size)
{
    failed_ = false;
    try {
        out_->sendMessage(bytes, size);
    } catch (const RtMidiError&) {
        return false;
    }
    return !failed_;
}

bool PortDevice::send_short(std::uint32_t message)
{
    const unsigned char bytes[3] = {static_cast<unsigned char>(message & 0xFF),
                                    static_cast<unsigned char>((message >> 8) & 0xFF),
                                    static_cast<unsigned char>((message >> 16) & 0xFF)};
    if (bytes[0] < 0x80)
        return false;
    return send(bytes, static_cast<std::size_t>(short_message_length(bytes[0])));
}

bool PortDevice::send_long(MidiHeader& header)
{
    if (!(header.flags.load() & midi_header_prepared) || !header.data ||
        header.bytes_recorded == 0 || header.bytes_recorded > header.buffer_length)
        return false;
    const bool sent = send(header.data, header.bytes_recorded);
    header.flags.fetch_or(midi_header_done);
    return sent;
}

std::vector<std::string> list_output_ports()
{
    silence_sound_libraries();
    std::vector<std::string> names;
    for (RtMidi::Api api : running_midi_systems()) {
        std::unique_ptr<RtMidiOut> out = open_client(api);
        if (!out)
            continue;
        bool failed = false;
        out->setErrorCallback(note_port_error, &failed);
        try {
            const unsigned int count = out->getPortCount();
            for (unsigned int i = 0; i < count; ++i)
                if (std::string name = out->getPortName(i); !name.empty())
                    names.push_back(std::move(name));
        } catch (const RtMidiError&) {
        }
    }
    return names;
}

}  // namespace tambelo
