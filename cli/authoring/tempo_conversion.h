#pragma once

#include <optional>

namespace tambelo {

// A score's tempo value sets the tick length of its track to
// 1136.3645833333333 / (tempo - tempo_base + 64) ms. With 48 ticks to a
// quarter note that makes the quarter notes per minute
//   bpm = 60000 * (tempo - tempo_base + 64) / (48 * 1136.3645833333333).

// The tempo value (0..255) whose speed is nearest to `bpm` at `tempo_base`,
// or none when no value gives a positive tick length that close: the range
// that can be reached is tempo_bpm(lowest_tempo) .. tempo_bpm(255).
std::optional<int> tempo_for_bpm(double bpm, int tempo_base);

// The quarter notes per minute that tempo value `tempo` plays at.
double bpm_for_tempo(int tempo, int tempo_base);

// The smallest tempo value that still gives a positive tick length.
int lowest_tempo(int tempo_base);

}  // namespace tambelo
