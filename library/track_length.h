#pragma once

#include "library/player.h"

#include <cstdint>
#include <span>

namespace tambelo {

// How long a compiled track plays, in sequencer ticks. Tick 1 is the first
// tick after the device reset; tick k falls due (k - 1) tick lengths after it.
struct TrackLength {
    enum class Kind {
        ends,     // the track ends by itself in `end_tick`
        loops,    // some channel loops for ever
    };
    Kind kind = Kind::ends;
    // ends: the tick in which the last channel ends (and the device is silenced).
    std::int64_t end_tick = 0;
    // loops: the first tick from which the track repeats with a period of
    // `loop_ticks`: the latest tick at which a looping channel first reads
    // its loop position. When the looping channels' cycles differ, the
    // period is the longest cycle and `cycles_differ` is set; the music is
    // then not strictly periodic.
    std::int64_t loop_start_tick = 0;
    std::int64_t loop_ticks = 0;
    bool cycles_differ = false;

    bool operator==(const TrackLength&) const = default;
};

// Follows the nine streams exactly as the sequencer would read them after a
// device reset (waits, loops, the stop-at-end flag and the order of channels
// within a tick, the end of a channel that meets its end record twice in one
// tick), without sending anything. Reads only the stream bytes, so it may
// run before or after the reset. A record that would leave the buffer counts
// as an end record looping to the stream's start, as in the sequencer.
TrackLength measure_track(std::span<const EventStream, channel_count> streams);

// The channels whose streams hold a note record before their end record
// (bit k: channel k): the ones whose sound a listener can mute. A channel
// of rests and settings alone has none.
std::uint16_t channels_with_notes(std::span<const EventStream, channel_count> streams);

// Milliseconds from the device reset to the start of tick `tick`.
inline double tick_time_ms(std::int64_t tick, double tick_length_ms)
{
    return static_cast<double>(tick - 1) * tick_length_ms;
}

}  // namespace tambelo
