#pragma once

#include "library/midi/port_output.h"

#include <string>
#include <vector>

namespace tambelo {

// The MIDI input ports of a running JACK server. Empty when no server runs
// (none is started).
std::vector<std::string> jack_port_names();

// Connects an output port of our own to the first JACK MIDI input port whose
// name contains `name_part`. Messages wait in a ring buffer until the
// server's next cycle takes them, all at the cycle's first frame.
PortSearch open_jack_port(const std::string& name_part);

}  // namespace tambelo
