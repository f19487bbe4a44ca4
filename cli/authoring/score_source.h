#pragma once

#include "cli/authoring/source_error.h"

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tambelo {

inline constexpr int ticks_per_quarter = 48;
inline constexpr int ticks_per_whole = 4 * ticks_per_quarter;
// Every channel starts with this default length (a quarter note), octave 4,
// a gate of 7 eighths and no fixed release.
inline constexpr int initial_default_length = 48;
inline constexpr int initial_octave = 4;

// One command of a phrase, as written: the parser has checked its ranges,
// the encoder chooses its bytes.
struct ScoreCommand {
    enum class Kind {
        note,          // step 1..12, octave_shift, length_ticks
        rest,          // length_ticks
        tie,           // sound the note before for its whole length
        length,        // default length = value ticks
        octave,        // value
        octave_up,
        octave_down,
        gate,          // value = eighths 1..8
        release,       // value = ticks 0..255
        tempo,         // bpm
        voice,         // value 0..255
        pan,           // value 0..127
        velocity,      // value 0..127
        velocity_add,  // value -128..127
        fine_tune,     // value -64..63
        no_loop,
    };

    ScoreCommand(Kind kind_, SourceLocation where_) : kind(kind_), where(where_) {}

    Kind kind;
    SourceLocation where;
    int step = 0;          // note: semitone within the octave, 1 = c .. 12 = b
    int octave_shift = 0;  // note: octaves added for this note only
    // note and rest: ticks, or none for the channel's default length
    std::optional<int> length_ticks;
    int value = 0;
    double bpm = 0;
};

struct Phrase {
    std::string name;
    SourceLocation where;
    std::vector<ScoreCommand> commands;
};

struct PhraseUse {
    std::string name;
    SourceLocation where;
};

// The music of one channel: phrases played in order, then again from the
// loop start (an index into `phrases`; 0 when the whole list repeats).
struct ChannelSource {
    int channel = 0;
    SourceLocation where;
    std::vector<PhraseUse> phrases;
    int loop_start = 0;
};

struct ScoreSource {
    std::string file;  // for messages
    std::vector<Phrase> phrases;
    std::vector<ChannelSource> channels;

    // Adds `phrase` unless one of its name is there already; answers whether
    // it was added.
    bool add_phrase(Phrase phrase);
    // The phrase of that name, or null. A source may hold a hundred thousand
    // phrases, each looked up once per use: the look-up goes through an index
    // of the names rather than along the list.
    const Phrase* find_phrase(std::string_view name) const;

private:
    std::unordered_map<std::string, std::size_t> phrase_index_;
};

}  // namespace tambelo
