#include "cli/authoring/score_parser.h"

#include "cli/safe_text.h"

#include "cli/authoring/source_cursor.h"

#include "score_format/score_limits.h"

#include <set>

namespace tambelo {
namespace {

using Kind = ScoreCommand::Kind;
using namespace score_text;

// A length: a note value (4 = quarter) with dots, or %ticks; then any number
// of "^length" added to it.
int take_length(Cursor& in)
{
    const SourceLocation start = in.where();
    int total = 0;
    for (;;) {
        const SourceLocation part = in.where();
        int ticks = 0;
        if (in.take_if('%')) {
            ticks = in.take_number("a length in ticks");
        } else {
            const int value = in.take_number("a note value");
            if (value == 0 || ticks_per_whole % value != 0)
                in.fail(part, "note value " + std::to_string(value) +
                                  " is not a whole number of ticks (192 ticks make a whole note; "
                                  "write %ticks instead)");
            ticks = ticks_per_whole / value;
            int added = ticks;
            while (in.peek() == '.') {
                in.take();
                if (added % 2 != 0)
                    in.fail(part, "this dotted length is not a whole number of ticks");
                added /= 2;
                ticks += added;
            }
        }
        total += ticks;
        if (total > 0xFFFF)
            in.fail(start, "a length may be at most 65,535 ticks");
        if (!in.take_if('^'))
            break;
    }
    if (total == 0)
        in.fail(start, "a length must be at least 1 tick");
    return total;
}

bool starts_length(Cursor& in)
{
    return is_digit(in.peek()) || in.peek() == '%';
}

int step_of(char letter)
{
    switch (letter) {
    case 'c': return 1;
    case 'd': return 3;
    case 'e': return 5;
    case 'f': return 6;
    case 'g': return 8;
    case 'a': return 10;
    default: return 12;  // 'b'
    }
}

ScoreCommand parse_note(Cursor& in, SourceLocation where, char letter)
{
    ScoreCommand note{Kind::note, where};
    int semitone = step_of(letter);
    for (;;) {
        if (in.take_if('+') || in.take_if('#'))
            ++semitone;
        else if (in.take_if('-'))
            --semitone;
        else
            break;
    }
    int shift = 0;
    for (;;) {
        if (in.take_if('\''))
            ++shift;
        else if (in.take_if(','))
            --shift;
        else
            break;
    }
    // A sharp b is the c of the octave above; a flat c the b below.
    while (semitone > 12) {
        semitone -= 12;
        ++shift;
    }
    while (semitone < 1) {
        semitone += 12;
        --shift;
    }
    note.step = semitone;
    note.octave_shift = shift;
    if (starts_length(in))
        note.length_ticks = take_length(in);
    else if (in.peek() == '^')
        in.fail("write the note's first length before ^");
    return note;
}

std::optional<ScoreCommand> parse_command(Cursor& in, std::vector<ScoreCommand>& out)
{
    const SourceLocation where = in.where();
    const char c = in.take();
    ScoreCommand command{Kind::no_loop, where};
    switch (c) {
    case 'a': case 'b': case 'c': case 'd': case 'e': case 'f': case 'g':
        return parse_note(in, where, c);
    case 'r':
        command.kind = Kind::rest;
        if (starts_length(in))
            command.length_ticks = take_length(in);
        return command;
    case '&':
        if (out.empty() || (out.back().kind != Kind::note && out.back().kind != Kind::rest))
            in.fail(where, "a tie & must follow a note");
        command.kind = Kind::tie;
        return command;
    case 'l':
        command.kind = Kind::length;
        command.value = take_length(in);
        if (command.value > 0x7FFF)
            in.fail(where, "the default length may be at most 32,767 ticks");
        return command;
    case 'o':
        command.kind = Kind::octave;
        command.value = in.take_in_range("an octave", 0, 9);
        return command;
    case '>':
        command.kind = Kind::octave_up;
        return command;
    case '<':
        command.kind = Kind::octave_down;
        return command;
    case 'q':
        command.kind = Kind::gate;
        command.value = in.take_in_range("a gate in eighths", 1, 8);
        return command;
    case 'Q':
        command.kind = Kind::release;
        command.value = in.take_in_range("a release in ticks", 0, 255);
        return command;
    case 't': {
        command.kind = Kind::tempo;
        const SourceLocation start = in.where();
        double bpm = in.take_number("a tempo in beats per minute");
        if (in.take_if('.')) {
            double scale = 0.1;
            while (is_digit(in.peek())) {
                bpm += (in.take() - '0') * scale;
                scale /= 10;
            }
        }
        if (bpm <= 0)
            in.fail(start, "a tempo must be above 0 beats per minute");
        command.bpm = bpm;
        return command;
    }
    case '@':
        command.kind = Kind::voice;
        command.value = in.take_in_range("a voice number", 0, 255);
        return command;
    case 'p':
        command.kind = Kind::pan;
        command.value = in.take_in_range("a pan", 0, 127);
        return command;
    case 'v':
        if (in.peek() == '+' || in.peek() == '-') {
            command.kind = Kind::velocity_add;
            command.value = in.take_in_range("a velocity change", -128, 127, true);
        } else {
            command.kind = Kind::velocity;
            command.value = in.take_in_range("a velocity", 0, 127);
        }
        return command;
    case 'k':
        command.kind = Kind::fine_tune;
        command.value = in.take_in_range("a fine tune", -64, 63, true);
        return command;
    case '!':
        return command;
    case '|':
        return std::nullopt;  // a bar line, for the reader only
    default:
        in.fail(where, "unknown command '" + escaped_text(std::string(1, c)) + "'");
    }
}

Phrase parse_phrase(Cursor& in, SourceLocation where)
{
    in.skip_space();
    Phrase phrase{{}, where, {}};
    if (!is_name_start(in.peek()))
        in.fail("expected the phrase's name after 'phrase'");
    const SourceLocation name_at = in.where();
    phrase.name = in.take_name();
    if (phrase.name == "phrase" || phrase.name == "channel")
        in.fail(name_at, "'" + phrase.name + "' cannot name a phrase; it begins a definition");
    in.skip_space();
    const SourceLocation brace_at = in.where();
    if (!in.take_if('{'))
        in.fail("expected { to open phrase " + phrase.name);
    for (;;) {
        in.skip_space();
        // The next definition's keyword cannot be commands: the phrase was
        // left open, and its brace is where the mistake is.
        if (in.at_end() ||
            (is_name_start(in.peek()) && (in.peek_name() == "phrase" || in.peek_name() == "channel")))
            in.fail(brace_at, "phrase " + phrase.name + " is not closed with }");
        if (in.take_if('}'))
            break;
        if (auto command = parse_command(in, phrase.commands))
            phrase.commands.push_back(*command);
    }
    return phrase;
}

ChannelSource parse_channel(Cursor& in, SourceLocation where)
{
    in.skip_space();
    ChannelSource channel;
    channel.where = where;
    channel.channel = in.take_in_range("a channel number", 0, channel_count - 1);
    in.skip_space();
    if (!in.take_if(':'))
        in.fail("expected : after the channel number");
    std::optional<SourceLocation> loop_mark;
    for (;;) {
        in.skip_space();
        const SourceLocation item = in.where();
        if (in.take_if('|')) {
            if (loop_mark)
                in.fail(item, "a channel has one loop start |");
            loop_mark = item;
            channel.loop_start = static_cast<int>(channel.phrases.size());
            continue;
        }
        // The list ends where the next definition begins.
        if (!is_name_start(in.peek()) || in.peek_name() == "phrase" ||
            in.peek_name() == "channel")
            break;
        std::string name = in.take_name();
        int count = 1;
        if (in.take_if('*'))
            count = in.take_in_range("a repeat count", 1, 255);
        for (int i = 0; i < count; ++i)
            channel.phrases.push_back({name, item});
    }
    if (channel.phrases.empty())
        in.fail(where, "channel " + std::to_string(channel.channel) + " lists no phrases");
    if (loop_mark && channel.loop_start >= static_cast<int>(channel.phrases.size()))
        in.fail(*loop_mark, "the loop start | must stand before a phrase");
    return channel;
}

}  // namespace

bool ScoreSource::add_phrase(Phrase phrase)
{
    if (find_phrase(phrase.name))
        return false;
    phrase_index_.emplace(phrase.name, phrases.size());
    phrases.push_back(std::move(phrase));
    return true;
}

const Phrase* ScoreSource::find_phrase(std::string_view name) const
{
    const auto found = phrase_index_.find(std::string(name));
    if (found != phrase_index_.end() && found->second < phrases.size() &&
        phrases[found->second].name == name)
        return &phrases[found->second];
    if (phrase_index_.size() == phrases.size())
        return nullptr;
    // Some phrases were put in the list directly, without add_phrase.
    for (const auto& phrase : phrases)
        if (phrase.name == name)
            return &phrase;
    return nullptr;
}

ScoreSource parse_score(std::string_view text, const std::string& file)
{
    ScoreSource score;
    score.file = file;
    // Some editors begin a UTF-8 file with a byte order mark.
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    Cursor in(text, file);
    std::set<int> channels_seen;
    for (;;) {
        in.skip_space();
        if (in.at_end())
            break;
        const SourceLocation where = in.where();
        if (!is_name_start(in.peek()))
            in.fail("expected 'phrase' or 'channel'");
        const std::string keyword = in.take_name();
        if (keyword == "phrase") {
            Phrase phrase = parse_phrase(in, where);
            const std::string name = phrase.name;
            if (!score.add_phrase(std::move(phrase)))
                in.fail(where, "phrase " + name + " is defined twice");
        } else if (keyword == "channel") {
            ChannelSource channel = parse_channel(in, where);
            if (!channels_seen.insert(channel.channel).second)
                in.fail(where, "channel " + std::to_string(channel.channel) + " is listed twice");
            score.channels.push_back(std::move(channel));
        } else {
            in.fail(where, "expected 'phrase' or 'channel', not '" + keyword + "'");
        }
    }
    if (score.channels.empty())
        throw SourceError(file, {}, "the score has no channel");
    for (const auto& channel : score.channels)
        for (const auto& use : channel.phrases)
            if (!score.find_phrase(use.name))
                throw SourceError(file, use.where, "no phrase is named " + use.name);
    return score;
}

}  // namespace tambelo
