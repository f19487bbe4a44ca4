#pragma once

#include <cstdint>

namespace tambelo {

struct Player;

// Sends one short message to the Player's device, composed in `short_msg`:
// status in byte 0, the data bytes in bytes 1 and 2. Data bytes above 127
// are sent as 127, so nothing but a status byte ever has its top bit set.
// Playback thread only.
void send_short(Player& player, std::uint8_t status, std::uint8_t data1, std::uint8_t data2);

// A two-byte message (program change): byte 2 of `short_msg` keeps whatever
// the previous message left there; the device ignores it.
void send_short(Player& player, std::uint8_t status, std::uint8_t data1);

// A value as a MIDI data byte: below 0 is sent as 0, above 127 as 127.
constexpr std::uint8_t midi_data_byte(std::int64_t value)
{
    return static_cast<std::uint8_t>(value < 0 ? 0 : value > 127 ? 127 : value);
}

// The three kinds of channel message the player sends. `channel` is 0..15;
// values are limited to 0..127 on the way out.
void send_control_change(Player& player, std::int32_t channel, int controller, std::int64_t value);
void send_program_change(Player& player, std::int32_t channel, std::int64_t program);
void send_note_on(Player& player, std::int32_t channel, std::int64_t note, std::int64_t velocity);

// All Sound Off, then Reset All Controllers, on MIDI channels 0..9: twenty
// messages, always in this order.
void silence_channels(Player& player);

// How many 10 ms polls the reset waits for the device to finish the GS reset
// message before it goes on regardless (a device that was never opened, or
// refused the message, never finishes it).
inline constexpr int gs_reset_poll_limit = 100;

// Prepares the device and the nine channel tracks for the start of the
// streams: sends the GS reset, resets every controller, sets a common
// volume, gives channel tracks 3, 4 and 5 their start voices (voice table
// entries 256..258) and restarts the sequencer's clock. Expects the voice
// table loaded and the device open. Blocks for at most about one second
// (waiting on the GS reset); never fails. Playback thread only.
void reset_device(Player& player);

}  // namespace tambelo
