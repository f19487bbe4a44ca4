#include "cli/authoring/score_encoder.h"

#include "cli/authoring/score_checks.h"
#include "cli/authoring/tempo_conversion.h"
#include "score_format/stream_format.h"

#include <cstdio>
#include <map>
#include <optional>

namespace tambelo {
namespace {

using Kind = ScoreCommand::Kind;

constexpr std::size_t header_size = 48;
constexpr std::uint8_t check_position = 40;  // check bytes 15, 0 x 5 at 41..46
constexpr std::size_t phrase_offset_limit = 0xFF00;  // a high byte of 255 ends a list

std::uint8_t low(int value)
{
    return static_cast<std::uint8_t>(value & 0xFF);
}

std::uint8_t high(int value)
{
    return static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

void put_note(std::vector<std::uint8_t>& out, int step, std::optional<int> length,
              std::optional<int> known_default)
{
    if (!length || length == known_default) {
        out.push_back(static_cast<std::uint8_t>(SC_NOTE_DEFAULT + step));
    } else if (*length < 256) {
        out.push_back(static_cast<std::uint8_t>(SC_NOTE + step));
        out.push_back(low(*length));
    } else {
        out.push_back(static_cast<std::uint8_t>(SC_NOTE_WORD + step));
        out.push_back(low(*length));
        out.push_back(high(*length));
    }
}

std::string bpm_text(double bpm)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", bpm);
    return text;
}

std::uint8_t tempo_byte(const ScoreCommand& command, int tempo_base, const std::string& file)
{
    const auto tempo = tempo_for_bpm(command.bpm, tempo_base);
    if (!tempo)
        throw SourceError(file, command.where,
                          "tempo " + bpm_text(command.bpm) + " BPM cannot be played at tempo base " +
                              std::to_string(tempo_base) + " (it allows " +
                              bpm_text(bpm_for_tempo(lowest_tempo(tempo_base), tempo_base)) +
                              " to " + bpm_text(bpm_for_tempo(255, tempo_base)) + " BPM)");
    return static_cast<std::uint8_t>(*tempo);
}

// The default length that every use of each phrase starts with, for the
// phrases where all uses agree. Each channel starts with the initial default; a phrase
// hands on the length of its last `l`.
std::map<std::string, int> incoming_defaults(const ScoreSource& score)
{
    std::map<std::string, std::optional<int>> seen;
    for (const auto& channel : score.channels) {
        int current = initial_default_length;
        for (const auto& use : channel.phrases) {
            const auto [entry, first] = seen.emplace(use.name, current);
            if (!first && entry->second != current)
                entry->second.reset();
            for (const auto& command : score.find_phrase(use.name)->commands)
                if (command.kind == Kind::length)
                    current = command.value;
        }
    }
    std::map<std::string, int> agreed;
    for (const auto& [name, length] : seen)
        if (length)
            agreed[name] = *length;
    return agreed;
}

bool has_tempo(const ScoreSource& score)
{
    for (const auto& channel : score.channels)
        for (const auto& use : channel.phrases)
            for (const auto& command : score.find_phrase(use.name)->commands)
                if (command.kind == Kind::tempo)
                    return true;
    return false;
}

}  // namespace

std::vector<std::uint8_t> encode_phrase(const Phrase& phrase, int tempo_base,
                                        const std::string& file,
                                        std::optional<int> incoming_default)
{
    std::vector<std::uint8_t> out;
    std::optional<int> known_default = incoming_default;
    for (const auto& command : phrase.commands) {
        switch (command.kind) {
        case Kind::note:
            for (int shift = command.octave_shift; shift > 0; --shift)
                out.push_back(SC_NEXT_OCTAVE_UP);
            for (int shift = command.octave_shift; shift < 0; ++shift)
                out.push_back(SC_NEXT_OCTAVE_DOWN);
            put_note(out, command.step, command.length_ticks, known_default);
            break;
        case Kind::rest:
            put_note(out, 0, command.length_ticks, known_default);
            break;
        case Kind::tie:
            out.push_back(SC_TIE);
            break;
        case Kind::length:
            out.push_back(SC_LENGTH);
            if (command.value < 128) {
                out.push_back(low(command.value));
            } else {
                out.push_back(static_cast<std::uint8_t>(128 + high(command.value)));
                out.push_back(low(command.value));
            }
            known_default = command.value;
            break;
        case Kind::octave:
            out.insert(out.end(), {SC_OCTAVE, low(command.value)});
            break;
        case Kind::octave_up:
            out.push_back(SC_OCTAVE_UP);
            break;
        case Kind::octave_down:
            out.push_back(SC_OCTAVE_DOWN);
            break;
        case Kind::gate:
            out.insert(out.end(), {SC_GATE, low(command.value - 1)});
            break;
        case Kind::release:
            out.insert(out.end(), {SC_RELEASE, low(command.value)});
            break;
        case Kind::tempo:
            out.insert(out.end(), {SC_TEMPO, tempo_byte(command, tempo_base, file)});
            break;
        case Kind::voice:
            out.insert(out.end(), {EV_VOICE, low(command.value)});
            break;
        case Kind::pan:
            out.insert(out.end(), {EV_PAN, low(command.value)});
            break;
        case Kind::velocity:
            out.insert(out.end(), {EV_VELOCITY, low(command.value)});
            break;
        case Kind::velocity_add:
            out.insert(out.end(), {EV_VELOCITY_ADD, low(command.value)});
            break;
        case Kind::fine_tune:
            out.insert(out.end(), {EV_FINE_TUNE, low(command.value)});
            break;
        case Kind::no_loop:
            out.push_back(EV_NO_LOOP);
            break;
        }
    }
    out.push_back(SC_PHRASE_END);
    return out;
}

std::vector<std::uint8_t> encode_score(const ScoreSource& score, int tempo_base)
{
    check_score_channels(score, tempo_base);

    // Phrase lists: (phrase index into `bodies`, ...) per channel, with the
    // tempo phrase in front of the lowest channel's list when needed.
    std::vector<std::vector<std::uint8_t>> bodies;
    std::map<std::string, std::size_t> body_of;
    struct List {
        int channel;
        std::vector<std::size_t> bodies;
        int loop_start;
    };
    std::vector<List> lists;
    const auto defaults = incoming_defaults(score);
    const bool add_tempo = !has_tempo(score);
    if (add_tempo) {
        Phrase tempo_phrase{"", {}, {ScoreCommand(Kind::tempo, {})}};
        tempo_phrase.commands[0].bpm = default_bpm;
        bodies.push_back(encode_phrase(tempo_phrase, tempo_base, score.file));
    }
    int lowest_channel = 9;
    for (const auto& channel : score.channels)
        lowest_channel = std::min(lowest_channel, channel.channel);
    for (const auto& channel : score.channels) {
        List list{channel.channel, {}, channel.loop_start};
        if (add_tempo && channel.channel == lowest_channel) {
            list.bodies.push_back(0);
            ++list.loop_start;
        }
        for (const auto& use : channel.phrases) {
            auto found = body_of.find(use.name);
            if (found == body_of.end()) {
                const auto incoming = defaults.find(use.name);
                bodies.push_back(encode_phrase(*score.find_phrase(use.name), tempo_base, score.file,
                                               incoming == defaults.end()
                                                   ? std::nullopt
                                                   : std::optional<int>(incoming->second)));
                found = body_of.emplace(use.name, bodies.size() - 1).first;
            }
            list.bodies.push_back(found->second);
        }
        if (list.loop_start > 255)
            throw SourceError(score.file, channel.where,
                              "the loop start may be at most the 256th phrase of a channel");
        lists.push_back(std::move(list));
    }

    std::vector<std::uint8_t> out(header_size, 0);
    out[0] = check_position;
    out[check_position + 1] = 15;
    std::size_t lists_size = 0;
    for (const auto& list : lists)
        lists_size += 2 * (list.bodies.size() + 1);
    std::vector<std::size_t> body_offsets;
    std::size_t offset = header_size + lists_size;
    for (const auto& body : bodies) {
        if (offset >= phrase_offset_limit)
            throw SourceError(score.file, {},
                              "the score is too large: its phrases take more than 65,280 bytes");
        body_offsets.push_back(offset);
        offset += body.size();
    }
    for (const auto& list : lists) {
        const std::size_t list_offset = out.size();
        out[4 + 4 * list.channel] = low(static_cast<int>(list_offset));
        out[5 + 4 * list.channel] = high(static_cast<int>(list_offset));
        for (const std::size_t body : list.bodies) {
            out.push_back(low(static_cast<int>(body_offsets[body])));
            out.push_back(high(static_cast<int>(body_offsets[body])));
        }
        out.push_back(low(list.loop_start));
        out.push_back(255);
    }
    for (const auto& body : bodies)
        out.insert(out.end(), body.begin(), body.end());
    return out;
}

}  // namespace tambelo
