#include "library/device_reset.h"

#include "library/player.h"

#include <algorithm>

namespace tambelo {
namespace {

constexpr int used_midi_channels = 10;  // 0..9; 9 is shared by every drum voice
constexpr std::uint32_t gs_reset_poll_ms = 10;

// Data set of 0 to address 40 00 7F (GS reset), device 0x20, with its
// checksum. Static so that the bytes stay valid even for a device that keeps
// hold of them after the wait has given up.
constexpr std::uint8_t gs_reset_message[] = {0xF0, 0x41, 0x20, 0x42, 0x12, 0x40,
                                             0x00, 0x7F, 0x00, 0x41, 0xF7};

void send_gs_reset(Player& player)
{
    MidiDevice& device = *player.midi_out;
    MidiHeader header;
    header.data = gs_reset_message;
    header.buffer_length = sizeof gs_reset_message;
    header.bytes_recorded = sizeof gs_reset_message;
    device.prepare_header(header);
    device.send_long(header);
    for (int polls = 0; (header.flags.load() & midi_header_done) == 0 && polls < gs_reset_poll_limit;
         ++polls)
        player.services.clock->sleep_ms(gs_reset_poll_ms);
    device.unprepare_header(header);
}

void start_channel_track(Player& player, int index)
{
    ChannelTrack& track = player.channels[index];
    track.voice = 255;
    track.kit = 128;
    track.volume = 255;
    track.reverb = 255;
    track.chorus = 255;
    track.pan = 255;
    track.key_offset = 64;
    track.velocity = 120;
    track.midi_channel = index;
    track.sounding_note = 128;
    track.wait = 16;
    track.has_sounded = 0;
    player.streams[index].position = 0;
}

// Channel tracks 3, 4 and 5 begin with voice table entries 256, 257, 258.
// Their voice numbers can never equal an event's one-byte voice, so their
// first voice event always counts as a change.
void take_start_voice(Player& player, int index)
{
    ChannelTrack& track = player.channels[index];
    const VoiceEntry& voice = player.voice_table[static_cast<std::size_t>(253 + index)];
    track.voice = 253 + index;
    if (voice.bank < 128) {
        track.kit = 128;
        track.midi_channel = index;
    } else {
        track.kit = 255 - voice.bank;
        track.midi_channel = 9;
    }
    track.volume = voice.volume;
    track.reverb = voice.reverb;
    track.chorus = voice.chorus;
    track.key_offset = voice.key_offset;
    track.pan = voice.pan;
}

// A drum start voice only selects a kit, so it sends no bank or program;
// its controllers go to the shared drum channel.
void send_start_voice(Player& player, const VoiceEntry& voice, std::int32_t melodic_channel)
{
    std::int32_t channel = 9;
    if (voice.bank < 128) {
        channel = melodic_channel;
        send_control_change(player, channel, 0, voice.bank);
        send_control_change(player, channel, 32, 0);
        send_program_change(player, channel, voice.program);
    }
    send_control_change(player, channel, 7, voice.volume);
    send_control_change(player, channel, 91, voice.reverb);
    send_control_change(player, channel, 93, voice.chorus);
    send_control_change(player, channel, 10, voice.pan);
}

}  // namespace

void send_short(Player& player, std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    player.short_msg[2] = std::min<std::uint8_t>(data2, 127);
    send_short(player, status, data1);
}

void send_short(Player& player, std::uint8_t status, std::uint8_t data1)
{
    player.short_msg[0] = status;
    player.short_msg[1] = std::min<std::uint8_t>(data1, 127);
    const std::uint32_t message =
        std::uint32_t{player.short_msg[0]} | std::uint32_t{player.short_msg[1]} << 8 |
        std::uint32_t{player.short_msg[2]} << 16 | std::uint32_t{player.short_msg[3]} << 24;
    if (player.tick_due)
        player.midi_out->send_short_at(message, *player.tick_due);
    else
        player.midi_out->send_short(message);
}

void send_control_change(Player& player, std::int32_t channel, int controller, std::int64_t value)
{
    send_short(player, static_cast<std::uint8_t>(0xB0 | (channel & 0x0F)), midi_data_byte(controller),
               midi_data_byte(value));
}

void send_program_change(Player& player, std::int32_t channel, std::int64_t program)
{
    send_short(player, static_cast<std::uint8_t>(0xC0 | (channel & 0x0F)), midi_data_byte(program));
}

void send_note_on(Player& player, std::int32_t channel, std::int64_t note, std::int64_t velocity)
{
    send_short(player, static_cast<std::uint8_t>(0x90 | (channel & 0x0F)), midi_data_byte(note),
               midi_data_byte(velocity));
}

void silence_channels(Player& player)
{
    for (int channel = 0; channel < used_midi_channels; ++channel)
        send_control_change(player, channel, 120, 0);
    for (int channel = 0; channel < used_midi_channels; ++channel)
        send_control_change(player, channel, 121, 0);
}

void reset_device(Player& player)
{
    for (ChannelTrack& track : player.channels)
        track.active = 1;
    player.stop_at_end = 0;
    for (int index = 0; index < channel_count; ++index)
        start_channel_track(player, index);
    for (int index = 3; index <= 5; ++index)
        take_start_voice(player, index);

    send_gs_reset(player);
    for (int channel = 0; channel < used_midi_channels; ++channel)
        send_control_change(player, channel, 121, 0);
    for (int channel = 0; channel < used_midi_channels; ++channel)
        send_control_change(player, channel, 7, 100);
    // Sent as they stand, without comparison with what the tracks hold.
    for (int j = 0; j < 3; ++j)
        send_start_voice(player, player.voice_table[static_cast<std::size_t>(256 + j)], 3 + j);

    // The clock starts after the messages, so the time they took does not
    // count as playing time.
    player.last_clock_ms = player.services.clock->now_ms();
    player.ms_accumulator = 0.0f;
}

}  // namespace tambelo
