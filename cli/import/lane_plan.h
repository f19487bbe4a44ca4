#pragma once

#include "cli/import/import_model.h"
#include "cli/import/song_timeline.h"

#include <array>
#include <vector>

namespace tambelo {

inline constexpr int midi_channel_count = 16;
inline constexpr int drum_midi_channel = 9;

// Which score channels play the notes of each MIDI channel, in the order a
// note looks for a free one.
using LanePlan = std::array<std::vector<int>, midi_channel_count>;

// A file this player wrote: MIDI channel k (0..8) on score channel k, the
// drum channel on the score channels that send nothing of their own. Any
// other file: each MIDI channel, in the order they first play, gets one score
// channel, then more for the notes it plays at once while channels are left.
LanePlan plan_lanes(const SongTimeline& timeline);

}  // namespace tambelo
