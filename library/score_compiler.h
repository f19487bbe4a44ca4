#pragma once

#include <cstdint>
#include <span>

namespace tambelo {

struct Player;

// Compiles track `track`'s score, entry `track` of the score archive named in
// the Player's `track_paths`, into the nine event streams, and applies its
// tempo commands to the Player's `tempo`. Returns false, without playing
// anything, when the entry is missing or is not a well-formed score; the
// tempo is then unchanged.
bool compile_score(Player& player, std::int32_t track);

// The same for a score already in memory.
bool compile_score_bytes(Player& player, std::span<const std::uint8_t> score);

}  // namespace tambelo
