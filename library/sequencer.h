#pragma once

namespace tambelo {

struct Player;

// Plays every tick that has fallen due since the previous call on the
// Player's device: reads the clock once, turns the time into ticks and, for
// each tick, lets every channel track whose wait has run out perform its
// next events. At the end of a track that does not loop, silences the device
// and clears the track request (see clear_ended_track). Always returns:
// however long the pause before the call and whatever the streams hold.
// Playback thread only; expects reset_device to have prepared the track.
void advance_sequencer(Player& player);

// Performs the next tick at once, whatever the clock says, leaving the
// clock's balance alone: the step of an off-line player, which stamps each
// tick's moment itself. Like advance_sequencer, it ends a track that does not
// loop; does nothing once every channel has ended.
void perform_one_tick(Player& player);

// The length of one tick at the Player's tempo, in milliseconds:
// 109091/96 ms divided by (tempo - tempo_base + 64), a divisor below 1
// counting as 1. Tick k of a track (the first is tick 1) falls due
// (k - 1) tick lengths after the clock reading of reset_device.
double tick_length_ms(const Player& player);

}  // namespace tambelo
