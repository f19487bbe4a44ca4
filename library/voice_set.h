#pragma once

#include <cstdint>
#include <span>

namespace tambelo {

struct Player;

// Resets the voice table, the drum map and the tempo base to their defaults,
// then fills them from track `track`'s voice set, entry `track` of the voice
// archive named in the Player's `track_paths`. Whatever cannot be read keeps
// its default.
void load_voice_set(Player& player, std::int32_t track);

// The same for a voice set already in memory.
void load_voice_set_bytes(Player& player, std::span<const std::uint8_t> voice_set);

// Only the reset to defaults.
void reset_voice_set(Player& player);

}  // namespace tambelo
