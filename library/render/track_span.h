#pragma once

#include "library/track_length.h"

#include <tambelo/track_messages.h>

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

// The latest frame a time names: about 190,000 years at 192 kHz, and far
// enough below the integer limits that sums of such frames cannot overflow.
inline constexpr std::int64_t last_frame = std::int64_t{1} << 60;

// The frame at which something `time_ms` after the start happens, rounded
// to the nearest frame; times before the start (and NaN) count as 0, times
// beyond the last frame (infinity too) as the last frame.
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

// In a rendering that repeats a track's loop for ever, the moment of the
// loop's second pass that sounds as `time_ms` does: `time_ms` itself before
// that pass ends. From the second pass on every pass sounds alike (the first
// has no overhang of a pass before it). Nothing when the track does not
// repeat exactly (it ends, or its channels' cycles differ).
std::optional<double> repeated_moment_ms(const TrackLength& length, double tick_length_ms, double time_ms);

TrackSpan plan_track_span(const TrackLength& length, double tick_length_ms, int loops);

class FrozenClockSequencer;

// The messages of `track` (of which nothing has been played yet) through
// its end or `loops` passes of its loop, as play_track_messages gives those
// of a set's track (track_messages.cpp).
TrackMessages play_messages(FrozenClockSequencer& track, int loops);

}  // namespace tambelo
