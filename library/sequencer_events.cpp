#include "library/sequencer_events.h"

#include "library/device_reset.h"
#include "library/player.h"
#include "score_format/stream_format.h"

#include <cstdint>
#include <limits>

namespace tambelo {
namespace {

constexpr std::int32_t no_note = 128;
constexpr std::int32_t melodic_kit = 128;

std::int32_t clamp_to_int32(std::int64_t value)
{
    constexpr std::int64_t low = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t high = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(value < low ? low : value > high ? high : value);
}

// The MIDI note that stream note `code` plays on this track. Melodic voices
// transpose by the voice's key offset; drum voices look the note up in their
// kit, a kit beyond the map's eight playing through kit 0.
std::int64_t mapped_note(const Player& player, const ChannelTrack& track, std::uint8_t code)
{
    if (track.kit == melodic_kit)
        return std::int64_t{track.key_offset} + code - 64;
    const std::int32_t kit = (track.kit >= 0 && track.kit < drum_kit_count) ? track.kit : 0;
    return player.drum_map[static_cast<std::size_t>(kit * 128 + code)];
}

void play_note(Player& player, int index, std::uint8_t code, std::int32_t wait)
{
    ChannelTrack& track = player.channels[index];
    track.wait = wait;
    track.has_sounded = 1;
    const std::int64_t note = mapped_note(player, track, code);
    // A note outside the MIDI range, or of a muted channel, is not sent, but
    // the channel counts as having played and waits as usual.
    const bool muted = (player.muted_channels.load(std::memory_order_relaxed) >> index & 1U) != 0;
    if (note < 0 || note > 127 || muted) {
        track.sounding_note = no_note;
        return;
    }
    track.sounding_note = static_cast<std::int32_t>(note);
    send_note_on(player, track.midi_channel, note, track.velocity);
}

void release_note(Player& player, ChannelTrack& track, std::int32_t wait)
{
    track.wait = wait;
    if (track.sounding_note != no_note)
        send_note_on(player, track.midi_channel, track.sounding_note, 0);
    track.sounding_note = no_note;
}

// Selecting a voice. Only a change of voice number sends anything; the
// controllers are sent when the track's stored value differs from the
// voice's, whichever MIDI channel the stored value last went to.
void change_voice(Player& player, int index, std::uint8_t number)
{
    ChannelTrack& track = player.channels[index];
    const VoiceEntry& voice = player.voice_table[number];
    if (track.voice != number) {
        if (voice.bank >= 128) {
            track.kit = 255 - voice.bank;
            track.midi_channel = 9;
        } else {
            track.kit = melodic_kit;
            track.midi_channel = index;
            send_control_change(player, index, 0, voice.bank);
            send_control_change(player, index, 32, 0);
            send_program_change(player, index, voice.program);
        }
        const struct {
            std::int32_t held, wanted;
            int controller;
        } controls[] = {{track.volume, voice.volume, 7},
                        {track.reverb, voice.reverb, 91},
                        {track.chorus, voice.chorus, 93},
                        {track.pan, voice.pan, 10}};
        for (const auto& control : controls)
            if (control.held != control.wanted)
                send_control_change(player, track.midi_channel, control.controller, control.wanted);
    }
    track.voice = number;
    track.volume = voice.volume;
    track.reverb = voice.reverb;
    track.chorus = voice.chorus;
    track.key_offset = voice.key_offset;
    track.pan = voice.pan;
    track.velocity = 120;
}

// Channel fine tuning (registered parameter 0/1), data-entry MSB only, 64
// being the centre; the registered parameter is left selected.
void fine_tune(Player& player, const ChannelTrack& track, std::int8_t amount)
{
    const int data = amount >= 0 ? 64 + (amount < 63 ? amount : 63)
                                 : 64 - (-amount < 63 ? -amount : 63);
    send_control_change(player, track.midi_channel, 101, 0);
    send_control_change(player, track.midi_channel, 100, 1);
    send_control_change(player, track.midi_channel, 6, data);
}

// The end of a channel's stream: it loops to `loop_position` when it has
// played a note and looping is allowed, otherwise it ends. Reaching the end
// a second time in one tick also ends it: a looped stretch without any wait
// would otherwise be read over and over without the tick ever finishing.
ChannelOutcome end_stream(Player& player, int index, std::int32_t loop_position, int& ends_this_tick)
{
    ChannelTrack& track = player.channels[index];
    player.streams[index].position = loop_position;
    ++ends_this_tick;
    if (track.has_sounded && !player.stop_at_end && ends_this_tick < 2)
        return ChannelOutcome::waiting;

    track.active = 0;
    track.wait = 1;
    if (any_channel_active(player))
        return ChannelOutcome::waiting;
    silence_channels(player);
    clear_ended_track(player);
    return ChannelOutcome::track_ended;
}

}  // namespace

bool any_channel_active(const Player& player)
{
    for (const ChannelTrack& track : player.channels)
        if (track.active)
            return true;
    return false;
}

ChannelOutcome read_channel_events(Player& player, int index)
{
    ChannelTrack& track = player.channels[index];
    EventStream& stream = player.streams[index];
    int ends_this_tick = 0;

    while (track.wait == 0) {
        const std::int32_t at = stream.position;
        // A record that does not lie wholly inside the buffer (a stream
        // without its end record, or a loop position beyond the buffer)
        // counts as the end of the stream, looping to its start.
        if (at < 0 || at >= stream_capacity ||
            event_record_size(stream.bytes[at]) > stream_capacity - at) {
            if (end_stream(player, index, 0, ends_this_tick) == ChannelOutcome::track_ended)
                return ChannelOutcome::track_ended;
            continue;
        }
        const std::uint8_t* record = stream.bytes + at;
        const std::uint8_t code = record[0];
        stream.position = at + event_record_size(code);

        if (code <= EV_REST) {
            const std::int32_t wait = record[1] | record[2] << 8;
            if (code == EV_REST)
                release_note(player, track, wait);
            else
                play_note(player, index, code, wait);
            continue;
        }
        switch (code) {
        case EV_VELOCITY_ADD:
            track.velocity =
                clamp_to_int32(std::int64_t{track.velocity} + static_cast<std::int8_t>(record[1]));
            break;
        case EV_PAN:
            track.pan = record[1];
            send_control_change(player, track.midi_channel, 10, track.pan);
            break;
        case EV_NO_LOOP:
            player.stop_at_end = 1;
            break;
        case EV_VOICE:
            change_voice(player, index, record[1]);
            break;
        case EV_VELOCITY:
            track.velocity = record[1];
            break;
        case EV_FINE_TUNE:
            fine_tune(player, track, static_cast<std::int8_t>(record[1]));
            break;
        case EV_END: {
            const std::int32_t loop_position = record[1] | record[2] << 8 | record[3] << 16;
            if (end_stream(player, index, loop_position, ends_this_tick) ==
                ChannelOutcome::track_ended)
                return ChannelOutcome::track_ended;
            break;
        }
        default:  // EV_SKIP and codes the player does not know
            break;
        }
    }
    return ChannelOutcome::waiting;
}

}  // namespace tambelo
