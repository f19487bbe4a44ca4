#pragma once

#include "library/midi/port_output.h"

#include <string>
#include <vector>

namespace tambelo {

// The output ports the ALSA sequencer offers. Empty when it cannot be opened.
std::vector<std::string> sequencer_port_names();

// Connects to the first ALSA sequencer port whose name contains `name_part`.
// Messages are delivered as they are sent.
PortSearch open_sequencer_port(const std::string& name_part);

}  // namespace tambelo
