#pragma once

#include <cstdint>

namespace tambelo {

struct Player;

// Sends one short message to the Player's device, composed in `short_msg`:
// status in byte 0, the data bytes in bytes 1 and 2. A program change's
// second data byte is whatever the previous message left there.
void send_short(Player& player, std::uint8_t status, std::uint8_t data1, std::uint8_t data2);

// All Sound Off, then Reset All Controllers, on MIDI channels 0..9.
void silence_channels(Player& player);

// Puts the device into the GS reset state, sets up the nine channel tracks
// and the three start voices, and restarts the sequencer's clock.
void reset_device(Player& player);

}  // namespace tambelo
