#pragma once

namespace tambelo {

struct Player;

// What became of a channel track after reading its events in one tick.
enum class ChannelOutcome {
    waiting,      // it has a wait again, or it has ended while others play on
    track_ended,  // it was the last track playing: the device is silenced
                  // and the request cleared
};

// Reads and performs events of channel track `index` until its wait is no
// longer 0. The sequencer's tick loop calls it once per channel and tick.
ChannelOutcome read_channel_events(Player& player, int index);

bool any_channel_active(const Player& player);

}  // namespace tambelo
