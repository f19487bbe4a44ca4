#pragma once

#include "library/track_length.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace tambelo {

// A stretch of audio that repeats: its first frame and its length in frames.
struct AudioLoop {
    std::int64_t start_frame = 0;
    std::int64_t length_frames = 0;

    bool operator==(const AudioLoop&) const = default;
};

// The frame at which something `time_ms` after the start happens, rounded
// to the nearest frame; times before the start count as 0.
std::size_t frame_at_ms(double time_ms, int sample_rate);

// The first pass through the loop in sample frames at `sample_rate`: from
// the frame nearest the loop's start to the one nearest its end. Nothing for
// a track that ends by itself or whose channels loop over stretches of
// different lengths (it never repeats exactly).
std::optional<AudioLoop> loop_frames(const TrackLength& length, double tick_length_ms, int sample_rate);

// The stretch of a track that is played when its loop is played `loops`
// times (a track that ends by itself plays to its end).
struct TrackSpan {
    bool loops = false;
    std::int64_t end_tick = 0;  // the first tick not played
    double music_ms = 0.0;      // ends: the moment the track ends; loops: intro + loops x loop
    // Where the looping channels share one cycle: the first loop's bounds.
    std::optional<double> loop_start_ms;
    std::optional<double> loop_end_ms;
};

TrackSpan plan_track_span(const TrackLength& length, double tick_length_ms, int loops);

}  // namespace tambelo
