#pragma once

#include "cli/export/audio_file.h"
#include "library/track_length.h"

#include <cstddef>
#include <optional>

namespace tambelo {

// The frame at which something `time_ms` after the start happens, rounded
// to the nearest frame; times before the start count as 0.
std::size_t frame_at_ms(double time_ms, int sample_rate);

// The first pass through the loop in sample frames at `sample_rate`: from
// the frame nearest the loop's start to the one nearest its end, where audio
// exports place them. Nothing for a track that ends by itself or whose
// channels loop over stretches of different lengths (it never repeats
// exactly).
std::optional<AudioLoop> loop_frames(const TrackLength& length, double tick_length_ms, int sample_rate);

}  // namespace tambelo
