#pragma once

#include "library/midi/midi_device.h"
#include "library/midi/port_output.h"

#include <memory>
#include <string>
#include <vector>

namespace tambelo {

// An external MIDI output port (a hardware GS module, or a software synth
// running as a server) reached through the ALSA sequencer or JACK.
class PortDevice final : public MidiDevice {
public:
    ~PortDevice() override;

    // Opens the first output port whose name contains `name_part` (JACK
    // ports are searched when a JACK server runs, then the ALSA sequencer's).
    // Returns null with a one-line reason in `why` when there is no such port
    // or it cannot be opened. Prints nothing; never starts a JACK server.
    static std::unique_ptr<PortDevice> open(const std::string& name_part,
                                            std::string* why = nullptr);

    // Sends the message's 2 or 3 bytes as they are. False when the port
    // refused them (for instance because it has gone away).
    bool send_short(std::uint32_t message) override;
    // Sends the header's bytes as one System Exclusive message and marks the
    // header done once they are handed on, delivered or not.
    bool send_long(MidiHeader& header) override;

    const std::string& port_name() const { return port_name_; }

private:
    PortDevice(std::unique_ptr<PortOutput> out, std::string port_name);

    std::unique_ptr<PortOutput> out_;
    std::string port_name_;
};

// The names of every MIDI output port that `PortDevice::open` can choose,
// in the order it searches them. Empty when there are none or no MIDI
// system runs. Prints nothing.
std::vector<std::string> list_output_ports();

}  // namespace tambelo
