#include "library/score_compiler.h"

#include "score_format/note_length.h"
#include "library/page_archive.h"
#include "library/player.h"
#include "score_format/stream_format.h"

#include <array>
#include <initializer_list>
#include <optional>

namespace tambelo {
namespace {

// Score layout: byte 0 holds the position h of the check bytes (h + 1 must be
// 15, h + 2 .. h + 6 must be 0); the channel table at byte 4 has one 4-byte
// entry per channel whose first 16-bit word is the offset of its phrase list.
constexpr std::size_t channel_table_offset = 4;
constexpr std::size_t channel_entry_size = 4;
constexpr std::uint8_t check_byte = 15;
constexpr int check_zero_count = 5;

// A phrase list is a run of 16-bit phrase offsets ended by a pair whose high
// byte is 255; that pair's low byte is the index of the phrase where the
// channel's loop begins.
constexpr std::uint8_t list_end_marker = 255;


// The most commands one track may take to compile. A score can list one long
// phrase of commands without output thousands of times in every channel,
// which would hold the playback thread for many seconds; real scores stay
// far below this (a stream holds at most 131,072 bytes of records).
constexpr std::uint32_t command_budget = 1u << 24;

// Commands copied to the stream with their one argument byte: skip, velocity
// add, pan, voice, velocity, fine tune.
constexpr bool is_copied_with_argument(std::uint8_t code)
{
    return code == 224 || code == 225 || code == 235 || code == 245 || code == 249 || code == 252;
}

// Argument bytes of the commands that have no effect but carry arguments.
constexpr int skipped_argument_count(std::uint8_t code)
{
    switch (code) {
    case 228: case 254: return 3;
    case 229: case 241: case 250: case 253: return 1;
    case 230: case 231: return 8;
    case 232: return 10;
    case 246: case 251: return 2;
    default: return 0;
    }
}

// The per-channel state of the compiler, 16-bit as the score format defines
// it: octaves may run below 0 and wrap.
struct ChannelState {
    std::uint16_t octave = 4;
    std::uint16_t note_octave = 4;  // octave of the next note only
    std::uint16_t default_length = 48;
    std::uint16_t gate_eighths = 7;
    std::uint16_t release_ticks = 256;  // 256: no fixed tail, the gate applies
};

// Compiles one channel's phrases into one stream. Every read is bounded by
// the score's size and every write by the stream's capacity; either bound
// being met fails the whole score.
class ChannelCompiler {
public:
    ChannelCompiler(std::span<const std::uint8_t> score, EventStream& stream, std::int32_t& tempo,
                    std::uint32_t& commands_left)
        : score_(score), stream_(stream), tempo_(tempo), commands_left_(commands_left)
    {
    }

    bool compile(std::uint16_t list_offset)
    {
        stream_.position = 0;
        std::int32_t loop_position = 0;
        if (list_offset != 0 && !compile_phrase_list(list_offset, loop_position))
            return false;
        // Always fits: every other record leaves room for it.
        const auto loop = static_cast<std::uint32_t>(loop_position);
        write({EV_END, static_cast<std::uint8_t>(loop), static_cast<std::uint8_t>(loop >> 8),
               static_cast<std::uint8_t>(loop >> 16)});
        return true;
    }

private:
    bool compile_phrase_list(std::size_t list_offset, std::int32_t& loop_position)
    {
        std::size_t phrase_count = 0;
        std::uint8_t loop_index = 0;
        for (std::size_t at = list_offset;; at += 2) {
            const auto low = byte_at(at);
            const auto high = byte_at(at + 1);
            if (!low || !high)
                return false;
            if (*high == list_end_marker) {
                loop_index = *low;
                break;
            }
            ++phrase_count;
        }

        state_ = ChannelState{};
        for (std::size_t j = 0; j < phrase_count; ++j) {
            if (j == loop_index)
                loop_position = stream_.position;
            const std::size_t at = list_offset + 2 * j;
            const std::size_t phrase_offset = std::size_t{score_[at]} | std::size_t{score_[at + 1]} << 8;
            if (!compile_phrase(phrase_offset))
                return false;
        }
        return true;
    }

    bool compile_phrase(std::size_t cursor)
    {
        for (;;) {
            if (commands_left_ == 0)
                return false;
            --commands_left_;
            const auto code = next_byte(cursor);
            if (!code)
                return false;
            if (*code == SC_PHRASE_END)
                return true;
            if (!compile_command(*code, cursor))
                return false;
        }
    }

    bool compile_command(std::uint8_t code, std::size_t& cursor)
    {
        if (code <= 12) {
            const auto length = next_byte(cursor);
            return length && compile_note(code, *length, cursor);
        }
        if (code <= 25) {
            const auto low = next_byte(cursor);
            const auto high = next_byte(cursor);
            return low && high &&
                   compile_note(static_cast<std::uint8_t>(code - 13),
                                static_cast<std::uint16_t>(*low | *high << 8), cursor);
        }
        if (code >= 128 && code <= 140)
            return compile_note(static_cast<std::uint8_t>(code - 128), state_.default_length, cursor);
        if (code < 224)
            return true;  // no meaning, no arguments
        if (is_copied_with_argument(code)) {
            const auto argument = next_byte(cursor);
            return argument && append({code, *argument});
        }
        if (code == EV_NO_LOOP)
            return append({code});
        if (const int count = skipped_argument_count(code); count > 0) {
            if (cursor + static_cast<std::size_t>(count) > score_.size())
                return false;
            cursor += static_cast<std::size_t>(count);
            return true;
        }
        return compile_state_command(code, cursor);
    }

    // Commands that change the compiler state or the tempo; the rest of the
    // codes that reach here (226, 227, 237, and a tie that follows no note)
    // have no effect.
    bool compile_state_command(std::uint8_t code, std::size_t& cursor)
    {
        switch (code) {
        case SC_OCTAVE_UP:
            state_.note_octave = state_.octave = static_cast<std::uint16_t>(state_.octave + 1);
            return true;
        case SC_OCTAVE_DOWN:
            state_.note_octave = state_.octave = static_cast<std::uint16_t>(state_.octave - 1);
            return true;
        case SC_NEXT_OCTAVE_UP:
            state_.note_octave = static_cast<std::uint16_t>(state_.note_octave + 1);
            return true;
        case SC_NEXT_OCTAVE_DOWN:
            state_.note_octave = static_cast<std::uint16_t>(state_.note_octave - 1);
            return true;
        case SC_OCTAVE:
        case SC_GATE:
        case SC_RELEASE:
        case SC_TEMPO:
            break;
        case SC_LENGTH: {
            const auto first = next_byte(cursor);
            if (!first)
                return false;
            if (*first < 128) {
                state_.default_length = *first;
                return true;
            }
            const auto second = next_byte(cursor);
            if (!second)
                return false;
            state_.default_length = static_cast<std::uint16_t>((*first - 128) * 256 + *second);
            return true;
        }
        default:
            return true;
        }

        const auto argument = next_byte(cursor);
        if (!argument)
            return false;
        switch (code) {
        case SC_OCTAVE:
            state_.octave = state_.note_octave = *argument;
            break;
        case SC_GATE:
            state_.gate_eighths = static_cast<std::uint16_t>(*argument + 1);
            state_.release_ticks = 256;
            break;
        case SC_RELEASE:
            state_.release_ticks = *argument;
            break;
        default:  // SC_TEMPO: takes effect only if the whole score compiles
            tempo_ = *argument;
            break;
        }
        return true;
    }

    // A note (step 1..12) or a rest (step 0) of `length` ticks. A tie right
    // after the command makes the note sound for its whole length.
    bool compile_note(std::uint8_t step, std::uint16_t length, std::size_t& cursor)
    {
        const auto following = byte_at(cursor);
        if (!following)
            return false;  // the phrase has no end anyway
        NoteSplit split{length, 0};
        if (*following == SC_TIE)
            ++cursor;
        else
            split = split_note_length(length, state_.release_ticks, state_.gate_eighths);

        const int octave = static_cast<std::int16_t>(state_.note_octave);
        const int note = step + 12 * octave + 11;
        state_.note_octave = state_.octave;

        // A note outside the MIDI range is kept as silence of the same
        // length rather than written as some other event code.
        if (step == 0 || note < 0 || note > 127)
            return append_wait(EV_REST, length);
        if (split.sounding_ticks != 0 &&
            !append_wait(static_cast<std::uint8_t>(note), split.sounding_ticks))
            return false;
        return append_wait(EV_REST, split.tail_ticks);
    }

    bool append_wait(std::uint8_t code, std::uint16_t wait_ticks)
    {
        return append({code, static_cast<std::uint8_t>(wait_ticks),
                       static_cast<std::uint8_t>(wait_ticks >> 8)});
    }

    // Appends a record if it still leaves room for the channel's end record.
    bool append(std::initializer_list<std::uint8_t> record)
    {
        const auto size = static_cast<std::int32_t>(record.size());
        if (stream_.position + size > stream_capacity - end_record_size)
            return false;
        write(record);
        return true;
    }

    void write(std::initializer_list<std::uint8_t> record)
    {
        for (const std::uint8_t byte : record)
            stream_.bytes[stream_.position++] = byte;
    }

    std::optional<std::uint8_t> byte_at(std::size_t offset) const
    {
        if (offset >= score_.size())
            return std::nullopt;
        return score_[offset];
    }

    std::optional<std::uint8_t> next_byte(std::size_t& cursor) const
    {
        const auto value = byte_at(cursor);
        if (value)
            ++cursor;
        return value;
    }

    std::span<const std::uint8_t> score_;
    EventStream& stream_;
    std::int32_t& tempo_;
    std::uint32_t& commands_left_;
    ChannelState state_;
};

// The phrase list offsets of the nine channels, or nothing when the check
// bytes are wrong or the header lies outside the score.
std::optional<std::array<std::uint16_t, channel_count>> read_header(std::span<const std::uint8_t> score)
{
    if (score.empty())
        return std::nullopt;
    const std::size_t check_at = std::size_t{score[0]} + 1;
    if (check_at + check_zero_count >= score.size() || score[check_at] != check_byte)
        return std::nullopt;
    for (int i = 1; i <= check_zero_count; ++i)
        if (score[check_at + static_cast<std::size_t>(i)] != 0)
            return std::nullopt;

    std::array<std::uint16_t, channel_count> lists{};
    if (channel_table_offset + channel_entry_size * channel_count > score.size())
        return std::nullopt;
    for (std::size_t k = 0; k < lists.size(); ++k) {
        const std::size_t at = channel_table_offset + channel_entry_size * k;
        lists[k] = static_cast<std::uint16_t>(score[at] | score[at + 1] << 8);
    }
    return lists;
}

}  // namespace

bool compile_score(Player& player, std::int32_t track)
{
    const auto entry = PageArchive::read_entry(player.track_paths.score, track);
    if (!entry)
        return false;
    return compile_score_bytes(player, *entry);
}

bool compile_score_bytes(Player& player, std::span<const std::uint8_t> score)
{
    const auto lists = read_header(score);
    if (!lists)
        return false;
    std::int32_t tempo = player.tempo;
    std::uint32_t commands_left = command_budget;
    for (int k = 0; k < channel_count; ++k) {
        ChannelCompiler channel(score, player.streams[k], tempo, commands_left);
        if (!channel.compile((*lists)[static_cast<std::size_t>(k)]))
            return false;
    }
    player.tempo = tempo;
    return true;
}

}  // namespace tambelo
