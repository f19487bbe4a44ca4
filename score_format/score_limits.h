#pragma once

#include <cstdint>

namespace tambelo {

// The bounds of a score and its voice set, as the player holds them.
inline constexpr int channel_count = 9;                   // score channels 0..8
inline constexpr std::int32_t stream_capacity = 0x20000;  // bytes per compiled event stream
inline constexpr int voice_table_size = 259;              // 256 numbered voices + 3 start voices
inline constexpr int drum_kit_count = 8;
inline constexpr int drum_map_size = drum_kit_count * 128;

}  // namespace tambelo
