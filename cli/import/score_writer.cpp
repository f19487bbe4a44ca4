#include "cli/import/score_writer.h"

#include "cli/authoring/score_source.h"
#include "cli/authoring/tempo_conversion.h"
#include "cli/import/lane_segments.h"
#include "cli/import/phrase_book.h"
#include "cli/import/phrase_text.h"
#include "score_format/note_length.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace tambelo {
namespace {

constexpr int max_length = 65535;
constexpr std::size_t max_phrases_before_loop = 255;
constexpr const char* step_names[] = {"c", "c+", "d", "d+", "e", "f", "f+", "g", "g+", "a", "a+", "b"};

// Gate and release as the player splits a note: release 256 means the gate applies.
struct Articulation {
    int gate = 7;
    int release = 256;
    bool operator==(const Articulation&) const = default;
};

int sounding_ticks(int length, Articulation a)
{
    return split_note_length(static_cast<std::uint16_t>(length), static_cast<std::uint16_t>(a.release),
                             static_cast<std::uint16_t>(a.gate))
        .sounding_ticks;
}


class LaneWriter;
void add_bars(PhraseBook& book, LaneWriter& writer, const Segment& segment, const std::string& lead, int bar_ticks,
              bool before_loop);

class LaneWriter {
public:
    LaneWriter(const Lane& lane, const ImportedSong& song, VoiceNumbers& voices, ImportReport& report)
        : song_(song), voices_(voices), report_(report)
    {
        if (lane.channel >= 3 && lane.channel <= 5)
            voice_ = -2;  // the start voice, which no number equals
    }

    // A phrase's text; the channel's state carries on from the last one, but
    // the phrase sets octave, articulation and velocity before it needs them,
    // so that it plays the same wherever the list comes back to it.
    std::string phrase(const Segment& segment, const std::string& lead)
    {
        text_ = PhraseText{};
        if (!lead.empty())
            text_.command(lead);
        octave_.reset();
        articulation_.reset();
        velocity_.reset();
        cursor_ = segment.from;
        std::optional<LaneAction> pending;
        for (const LaneAction& action : segment.actions) {
            std::int64_t at = action.tick;
            if (pending && at < pending->end) {
                if (action.kind == LaneAction::Kind::note) {
                    pending->end = at;  // a note that would overlap the next: cut short
                    report_.count("notes cut short where the next note on their channel begins", action.tick);
                } else {
                    report_.count_shift("controller changes during a note moved to its end",
                                        static_cast<double>(pending->end - at) * song_.tick_ms, action.tick);
                    at = pending->end;
                }
            }
            at = std::max(at, cursor_);
            if (pending) {
                write_note(*pending, at);
                pending.reset();
            }
            rest_until(at);
            if (action.kind == LaneAction::Kind::note)
                pending = action;
            else
                write_control(action);
        }
        if (pending) {
            if (pending->end > segment.to) {
                report_.count("notes cut short at the end of the loop", pending->tick);
                pending->end = segment.to;
            }
            write_note(*pending, segment.to);
        }
        rest_until(segment.to);
        return text_.render(96, "    ");
    }

private:
    void bar_lines_up_to(std::int64_t tick)
    {
        if (tick % song_.bar_ticks == 0 && tick > 0)
            text_.bar();
    }

    void rest_until(std::int64_t tick)
    {
        while (cursor_ < tick) {
            // Rests break at bar lines, so that the bars can be read.
            const std::int64_t next_bar = (cursor_ / song_.bar_ticks + 1) * song_.bar_ticks;
            const auto length = static_cast<int>(std::min<std::int64_t>({tick, next_bar, cursor_ + max_length}) - cursor_);
            text_.timed("r", length);
            cursor_ += length;
            bar_lines_up_to(cursor_);
        }
    }

    void write_control(const LaneAction& action)
    {
        switch (action.kind) {
        case LaneAction::Kind::voice: {
            const int number = voices_.number_for(action.voice, voice_);
            if (number == VoiceNumbers::none) {
                report_.count("voice changes left out, beyond the 255 voices a voice set holds", action.tick);
                return;
            }
            text_.command("@" + std::to_string(number));
            voice_ = number;
            velocity_ = 120;
            return;
        }
        case LaneAction::Kind::pan: text_.command("p" + std::to_string(action.value)); return;
        case LaneAction::Kind::fine_tune:
            text_.command("k" + std::string(action.value > 0 ? "+" : "") + std::to_string(action.value));
            return;
        case LaneAction::Kind::note: return;
        }
    }

    // Finds the articulation that sounds `sounding` of `length` ticks.
    std::optional<Articulation> articulation_for(int length, int sounding) const
    {
        if (articulation_ && sounding_ticks(length, *articulation_) == sounding)
            return articulation_;
        for (int gate : {7, 8, 6, 4, 5, 3, 2, 1})
            if (sounding_ticks(length, {gate, 256}) == sounding)
                return Articulation{gate, 256};
        const int release = length - sounding;
        if (release >= 0 && release <= 255 && sounding_ticks(length, {7, release}) == sounding)
            return Articulation{7, release};
        return std::nullopt;
    }

    void write_note(LaneAction note, std::int64_t until)
    {
        std::int64_t length = until - note.tick;
        std::int64_t sounding = std::min(note.end, until) - note.tick;
        if (sounding > max_length) {
            report_.count("notes longer than 65,535 ticks cut short", note.tick);
            sounding = max_length;
        }
        write_pitch_setup(note);
        const std::string name = note_name(note.pitch);
        if (length <= max_length) {
            const auto len = static_cast<int>(length), sound = static_cast<int>(sounding);
            const Articulation kept = articulation_.value_or(Articulation{});
            if (sound == len) {
                text_.timed(name, len, "&");
            } else if (sounding_ticks(len, kept) != sound && shorter_value(len, sound, kept) > 0) {
                // A note of its own value and a rest read better than a
                // change of gate: "a16 r8." rather than "Q41 a4".
                const int value = shorter_value(len, sound, kept);
                set_articulation(kept);
                text_.timed(name, value);
                cursor_ = note.tick + value;
                rest_until(until);
            } else if (const auto a = articulation_for(len, sound)) {
                set_articulation(*a);
                text_.timed(name, len);
            } else {
                text_.timed(name, sound, "&");
                cursor_ = note.tick + sounding;
                rest_until(until);
            }
        } else {
            text_.timed(name, static_cast<int>(sounding), "&");
            cursor_ = note.tick + sounding;
            rest_until(until);
        }
        cursor_ = until;
        bar_lines_up_to(cursor_);
    }

    // The longest note value below `length` that `a` sounds for `sounding`
    // ticks, or 0.
    static int shorter_value(int length, int sounding, Articulation a)
    {
        int best = 0;
        for (int value : {1, 2, 4, 8, 16, 32, 3, 6, 12, 24, 48, 96})
            for (int ticks : {ticks_per_whole / value, ticks_per_whole / value * 3 / 2})
                if (ticks < length && ticks > best && sounding_ticks(ticks, a) == sounding)
                    best = ticks;
        return best;
    }

    void set_articulation(Articulation a)
    {
        if (articulation_ == a)
            return;
        text_.command(a.release == 256 ? "q" + std::to_string(a.gate) : "Q" + std::to_string(a.release));
        articulation_ = a;
    }

    // Octave and velocity for the note.
    void write_pitch_setup(const LaneAction& note)
    {
        if (velocity_ != note.velocity) {
            text_.command("v" + std::to_string(note.velocity));
            velocity_ = note.velocity;
        }
        const int octave = std::max(0, note.pitch / 12 - 1);
        if (!octave_ || std::abs(*octave_ - octave) > 1)
            text_.command("o" + std::to_string(octave));
        else if (*octave_ + 1 == octave)
            text_.command(">");
        else if (*octave_ - 1 == octave)
            text_.command("<");
        octave_ = octave;
    }

    static std::string note_name(int pitch)
    {
        // Notes below 12 lie under octave 0: its notes an octave down.
        return std::string(step_names[pitch % 12]) + (pitch < 12 ? "," : "");
    }

    const ImportedSong& song_;
    VoiceNumbers& voices_;
    ImportReport& report_;
    PhraseText text_;
    std::int64_t cursor_ = 0;
    std::optional<int> octave_;
    std::optional<Articulation> articulation_;
    std::optional<int> velocity_;
    int voice_ = VoiceNumbers::none;
};

// The segment as phrases of whole bars, cut where no note sounds across the
// bar line: music that repeats bar for bar is then written once.
// A channel's loop can start at its 256th phrase at the latest: a longer
// intro is one phrase.
void add_bars(PhraseBook& book, LaneWriter& writer, const Segment& segment, const std::string& lead, int bar_ticks,
              bool before_loop)
{
    const std::vector<Segment> pieces = split_at_bars(segment, bar_ticks);
    if (before_loop && pieces.size() > max_phrases_before_loop) {
        book.add(writer.phrase(segment, lead));
        return;
    }
    for (const Segment& bars : pieces)
        book.add(writer.phrase(bars, bars.from == segment.from ? lead : ""));
}

// The shortest BPM that the packer stores as the song's tempo value.
std::string tempo_text(const ImportedSong& song)
{
    const auto wanted = tempo_for_bpm(song.bpm, song.tempo_base);
    char text[32];
    for (int digits = 0; digits <= 6; ++digits) {
        std::snprintf(text, sizeof text, "%.*f", digits, song.bpm);
        if (tempo_for_bpm(std::strtod(text, nullptr), song.tempo_base) == wanted)
            break;
    }
    return std::string("t") + text;
}

}  // namespace

std::string write_score(const ImportedSong& song, const std::string& source_name, VoiceNumbers& voices,
                        ImportReport& report)
{
    std::string phrases, channels;
    bool first = true;
    std::int64_t latest = 0;
    int latest_lane = -1;
    for (const Lane& lane : song.lanes)
        if (!lane.actions.empty() && lane_end(lane) >= latest) {
            latest = lane_end(lane);
            latest_lane = lane.channel;
        }
    for (const Lane& lane : song.lanes) {
        if (lane.actions.empty())
            continue;
        LaneWriter writer(lane, song, voices, report);
        const std::string name = "ch" + std::to_string(lane.channel);
        std::string lead;
        if (first)
            lead = tempo_text(song) + (song.loop_start ? "" : " !");
        first = false;
        if (song.loop_start) {
            const std::int64_t start = *song.loop_start, end = start + song.loop_ticks;
            const std::int64_t loop_at = std::min(quiet_tick(lane, start), end);
            const std::vector<bool> once = played_once(lane, loop_at, song.loop_ticks, song.end_tick);
            Segment intro = segment_of(lane, 0, loop_at);
            for (std::size_t k = 0; k < once.size(); ++k)
                if (once[k])
                    intro.actions.push_back(lane.actions[k]);
            Segment body = segment_of(lane, loop_at, end, 0, &once);
            Segment wrapped = segment_of(lane, start, loop_at, song.loop_ticks);
            body.to = wrapped.to;
            body.actions.insert(body.actions.end(), wrapped.actions.begin(), wrapped.actions.end());
            if (loop_at + song.loop_ticks <= song.end_tick) {
                const auto seam = played_at_seam(lane, loop_at, song.loop_ticks);
                body.actions.insert(body.actions.end(), seam.begin(), seam.end());
            }
            PhraseBook book(name);
            if (loop_at > 0 || !lead.empty() || !intro.actions.empty())
                add_bars(book, writer, intro, lead, song.bar_ticks, true);
            book.start_loop();
            add_bars(book, writer, body, "", song.bar_ticks, false);
            phrases += book.definitions();
            channels += "channel " + std::to_string(lane.channel) + ": " + book.list() + "\n";
        } else {
            // The track ends when its longest channel does: at the end the file gives.
            const std::int64_t end = lane.channel == latest_lane ? std::max(song.end_tick, latest) : lane_end(lane);
            PhraseBook book(name);
            add_bars(book, writer, segment_of(lane, 0, end), lead, song.bar_ticks, false);
            phrases += book.definitions();
            channels += "channel " + std::to_string(lane.channel) + ": " + book.list() + "\n";
        }
    }
    std::string header = "// Imported from " + source_name + " by tambelo-cli import.\n";
    if (first) {
        // A score needs a channel: this one rests as long as the file lasts.
        header += "// The file plays no notes.\n";
        const Lane silent{0, false, {}};
        LaneWriter writer(silent, song, voices, report);
        phrases = "phrase silence {\n    " +
                  writer.phrase(Segment{0, std::max<std::int64_t>(1, song.end_tick), {}}, tempo_text(song) + " !") +
                  "\n}\n";
        channels = "channel 0: silence\n";
    }
    return header + "\n" + phrases + "\n" + channels;
}

}  // namespace tambelo
