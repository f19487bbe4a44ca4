#pragma once

#include "cli/authoring/score_source.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tambelo {

// Tempo of a score that writes none, in quarter notes per minute.
inline constexpr double default_bpm = 120.0;

// The score bytecode of one phrase, ending with the phrase end byte 255.
// Lengths take the shortest form: no bytes when they equal the default
// length, one byte below 256 ticks, else two. The default length is known
// after an `l` in the phrase, and before it when `incoming_default` says
// which default every use of the phrase starts with. Tempos are converted
// at `tempo_base`; one that cannot be reached throws SourceError.
std::vector<std::uint8_t> encode_phrase(const Phrase& phrase, int tempo_base,
                                        const std::string& file,
                                        std::optional<int> incoming_default = std::nullopt);

// The whole score: a 48-byte header (check bytes at 41..46), the channels'
// phrase lists, then each phrase that a channel uses, once. A score without
// a tempo gets a phrase holding only the tempo of `default_bpm`, played
// first on its lowest channel (it makes no sound and takes no time). Checks
// the channels first (check_score_channels) and throws SourceError for a
// score that cannot be played as written or does not fit the format.
std::vector<std::uint8_t> encode_score(const ScoreSource& score, int tempo_base);

}  // namespace tambelo
