#pragma once

#include "library/midi/midi_device.h"

#include <cstdint>
#include <vector>

namespace tambelo::testing {

// The GS reset System Exclusive message as the library sends it.
inline const std::vector<std::uint8_t> gs_reset_bytes = {0xF0, 0x41, 0x20, 0x42, 0x12, 0x40,
                                                         0x00, 0x7F, 0x00, 0x41, 0xF7};

// Sends a short message given as its bytes, packed as the device expects.
inline bool send_bytes(MidiDevice& device, std::vector<std::uint8_t> bytes)
{
    std::uint32_t packed = 0;
    for (std::size_t i = 0; i < bytes.size() && i < 3; ++i)
        packed |= std::uint32_t{bytes[i]} << (8 * i);
    return device.send_short(packed);
}

// Sends a long message the way the device reset does: prepare, send,
// unprepare. Returns whether the send succeeded and the header was done.
inline bool send_long_bytes(MidiDevice& device, const std::vector<std::uint8_t>& bytes)
{
    MidiHeader header;
    header.data = bytes.data();
    header.buffer_length = static_cast<std::uint32_t>(bytes.size());
    header.bytes_recorded = header.buffer_length;
    device.prepare_header(header);
    const bool sent = device.send_long(header);
    const bool done = header.flags.load() & midi_header_done;
    device.unprepare_header(header);
    return sent && done;
}

}  // namespace tambelo::testing
