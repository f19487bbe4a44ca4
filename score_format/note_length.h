#pragma once

#include <cstdint>

namespace tambelo {

// How a note of length L ticks divides into the part that sounds and the
// silent tail before the next event. The two always add up to L.
struct NoteSplit {
    std::uint16_t sounding_ticks;
    std::uint16_t tail_ticks;
};

// `release_ticks` of 256 means no fixed tail: the sounding part is then
// `gate_eighths` eighths of the length (at least one tick, and one tick short
// of the whole length when the gate is 8). Otherwise the tail is
// `release_ticks`, or the whole length but one tick for shorter notes.
// A length of 0 splits into 0 and 0; a gate above 8 never sounds longer than
// the note itself.
NoteSplit split_note_length(std::uint16_t length_ticks, std::uint16_t release_ticks,
                            std::uint16_t gate_eighths);

}  // namespace tambelo
