#pragma once

#include "cli/authoring/score_source.h"

#include <array>

namespace tambelo {

// Plays each channel through in the player's terms, before any byte is
// written, and throws SourceError at the first thing that would not play as
// written: a note outside MIDI notes 0..127 at the octave it meets, a
// channel whose events would overflow its 131,072-byte event stream, a loop
// that takes no time (it would repeat without end), or two tempos (a track
// plays at one tempo, the last one read).
void check_score_channels(const ScoreSource& score, int tempo_base);

// The length in bytes of each of the nine event streams that the score
// compiles into (4, the end record alone, for a channel without music).
// The score must have passed check_score_channels.
std::array<long, 9> event_stream_lengths(const ScoreSource& score);

}  // namespace tambelo
