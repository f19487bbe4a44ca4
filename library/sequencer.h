#pragma once

namespace tambelo {

struct Player;

// Plays every tick that has fallen due since the previous call on the
// Player's device. At the end of a track that does not loop, silences the
// device and clears the track request (see clear_ended_track).
void advance_sequencer(Player& player);

}  // namespace tambelo
