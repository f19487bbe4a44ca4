#pragma once

#include "library/midi/midi_device.h"

namespace tambelo {

// Discards every message. Stands in for a device that could not be opened,
// so that tracks still play, silently, on the same code path.
class NullDevice final : public MidiDevice {
public:
    bool send_short(std::uint32_t message) override;
    bool send_long(MidiHeader& header) override;
};

}  // namespace tambelo
