#pragma once

#include "library/render/render_settings.h"
#include "library/track_length.h"

#include <cstdint>
#include <limits>

namespace tambelo {

// The longest rendering a track may need: 3 hours. Real tracks last
// minutes; a damaged or hostile set can describe music that plays for years,
// and a host that asked for it would work for as long (and fill a disk).
inline constexpr int longest_rendering_hours = 3;
inline constexpr double longest_rendering_ms = longest_rendering_hours * 3600.0 * 1000.0;
inline constexpr const char* too_long_reason = "would play for more than 3 hours";

// Longest release tail kept after a track's end, and the stretch below the
// silence threshold that ends it.
inline constexpr double max_release_tail_ms = 10000.0;
inline constexpr double quiet_end_ms = 100.0;

// Forever: an end no rendering reaches.
inline constexpr std::int64_t never_ending_frames = std::numeric_limits<std::int64_t>::max() / 4;

// How a rendering of a track with given settings is laid out in frames,
// fixed before anything is rendered.
struct RenderingPlan {
    bool seamless = false;  // the intro and one pass, cut to repeat
    bool forever = false;   // never ends
    bool tail = false;      // a release tail follows `planned`
    std::int64_t music_frames = 0;
    std::int64_t fade_frames = 0;
    std::int64_t planned = 0;        // music + fade; never_ending_frames when forever
    std::int64_t output_frames = 0;  // what is handed out before any release tail
    std::int64_t least_frames = 0;   // the whole rendering: at least ...
    std::int64_t most_frames = 0;    // ... and at most (equal unless a tail follows)
};

RenderingPlan plan_rendering(const TrackLength& length, double tick_length_ms, const RenderSettings& settings,
                             int sample_rate);

}  // namespace tambelo
