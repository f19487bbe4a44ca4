#include "cli/authoring/score_checks.h"

#include "cli/authoring/tempo_conversion.h"
#include "score_format/score_limits.h"

#include <optional>

namespace tambelo {
namespace {

using Kind = ScoreCommand::Kind;

// Event stream bytes per record.
constexpr long note_bytes = 6;  // note, then its silent tail
constexpr long rest_bytes = 3;
constexpr long control_bytes = 2;
constexpr long no_loop_bytes = 1;
constexpr long end_bytes = 4;

std::string place(SourceLocation where)
{
    return std::to_string(where.line) + ":" + std::to_string(where.column);
}

struct ChannelWalk {
    int octave = initial_octave;
    int default_length = initial_default_length;
    long stream_bytes = 0;
    long ticks = 0;
    bool has_notes = false;
};

void walk_phrase(const ScoreSource& score, const Phrase& phrase, ChannelWalk& walk)
{
    for (const auto& command : phrase.commands) {
        switch (command.kind) {
        case Kind::note: {
            const int octave = walk.octave + command.octave_shift;
            const int note = command.step + 12 * octave + 11;
            if (note < 0 || note > 127)
                throw SourceError(score.file, command.where,
                                  "this note lies outside the MIDI notes 0..127 (it is note " +
                                      std::to_string(note) + ", at octave " +
                                      std::to_string(octave) + ")");
            walk.stream_bytes += note_bytes;
            walk.ticks += command.length_ticks.value_or(walk.default_length);
            walk.has_notes = true;
            break;
        }
        case Kind::rest:
            walk.stream_bytes += rest_bytes;
            walk.ticks += command.length_ticks.value_or(walk.default_length);
            break;
        case Kind::length:
            walk.default_length = command.value;
            break;
        case Kind::octave:
            walk.octave = command.value;
            break;
        case Kind::octave_up:
            ++walk.octave;
            break;
        case Kind::octave_down:
            --walk.octave;
            break;
        case Kind::voice:
        case Kind::pan:
        case Kind::velocity:
        case Kind::velocity_add:
        case Kind::fine_tune:
            walk.stream_bytes += control_bytes;
            break;
        case Kind::no_loop:
            walk.stream_bytes += no_loop_bytes;
            break;
        case Kind::tie:
        case Kind::gate:
        case Kind::release:
        case Kind::tempo:
            break;
        }
    }
}

void check_tempos(const ScoreSource& score, int tempo_base)
{
    // Tempos that cannot be reached at all are reported by the encoder.
    const ScoreCommand* first = nullptr;
    for (const auto& channel : score.channels)
        for (const auto& use : channel.phrases)
            for (const auto& command : score.find_phrase(use.name)->commands) {
                if (command.kind != Kind::tempo || !tempo_for_bpm(command.bpm, tempo_base))
                    continue;
                if (!first) {
                    first = &command;
                } else if (tempo_for_bpm(command.bpm, tempo_base) !=
                           tempo_for_bpm(first->bpm, tempo_base)) {
                    throw SourceError(score.file, command.where,
                                      "this tempo differs from the one at " + place(first->where) +
                                          "; a track plays at one tempo throughout");
                }
            }
}

// Walks a channel's phrases in list order; `loop_ticks` receives the
// length of the looped part.
ChannelWalk walk_channel(const ScoreSource& score, const ChannelSource& channel, long& loop_ticks)
{
    ChannelWalk walk;
    loop_ticks = 0;
    for (std::size_t i = 0; i < channel.phrases.size(); ++i) {
        if (static_cast<int>(i) == channel.loop_start)
            loop_ticks = -walk.ticks;
        walk_phrase(score, *score.find_phrase(channel.phrases[i].name), walk);
    }
    loop_ticks += walk.ticks;
    return walk;
}

}  // namespace

std::array<long, 9> event_stream_lengths(const ScoreSource& score)
{
    std::array<long, 9> lengths;
    lengths.fill(end_bytes);
    for (const auto& channel : score.channels) {
        long loop_ticks = 0;
        lengths[static_cast<std::size_t>(channel.channel)] +=
            walk_channel(score, channel, loop_ticks).stream_bytes;
    }
    return lengths;
}

void check_score_channels(const ScoreSource& score, int tempo_base)
{
    check_tempos(score, tempo_base);
    for (const auto& channel : score.channels) {
        long loop_ticks = 0;
        const ChannelWalk walk = walk_channel(score, channel, loop_ticks);
        const std::string name = "channel " + std::to_string(channel.channel);
        if (walk.stream_bytes + end_bytes > stream_capacity)
            throw SourceError(score.file, channel.where,
                              name + " is too long: its events take " +
                                  std::to_string(walk.stream_bytes + end_bytes) +
                                  " bytes, and a channel holds at most " +
                                  std::to_string(stream_capacity));
        if (walk.has_notes && loop_ticks == 0)
            throw SourceError(score.file, channel.where,
                              name + " loops over phrases that take no time; the loop needs a "
                                     "note or a rest");
    }
}

}  // namespace tambelo
