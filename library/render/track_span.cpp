#include "library/render/track_span.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tambelo {

std::size_t frame_at_ms(double time_ms, int sample_rate)
{
    const double frame = std::round(time_ms * sample_rate / 1000.0);
    if (!(frame > 0.0))
        return 0;
    if (frame >= static_cast<double>(last_frame))
        return static_cast<std::size_t>(last_frame);
    return static_cast<std::size_t>(frame);
}

std::optional<double> repeated_moment_ms(const TrackLength& length, double tick_length_ms, double time_ms)
{
    if (length.kind != TrackLength::Kind::loops || length.cycles_differ || length.loop_ticks <= 0)
        return std::nullopt;
    const double loop_ms = static_cast<double>(length.loop_ticks) * tick_length_ms;
    const double second_pass_ms = tick_time_ms(length.loop_start_tick, tick_length_ms) + loop_ms;
    if (!(loop_ms > 0.0) || !(time_ms >= second_pass_ms + loop_ms))
        return time_ms;
    // fmod is exact, so the moment is as close as `time_ms` itself can say.
    const double finite_ms = std::min(time_ms, std::numeric_limits<double>::max());
    return second_pass_ms + std::fmod(finite_ms - second_pass_ms, loop_ms);
}

std::optional<AudioLoop> loop_frames(const TrackLength& length, double tick_length_ms, int sample_rate)
{
    if (length.kind != TrackLength::Kind::loops || length.cycles_differ || length.loop_ticks <= 0)
        return std::nullopt;
    const std::size_t start = frame_at_ms(tick_time_ms(length.loop_start_tick, tick_length_ms), sample_rate);
    const std::size_t end =
        frame_at_ms(tick_time_ms(length.loop_start_tick + length.loop_ticks, tick_length_ms), sample_rate);
    if (end <= start)
        return std::nullopt;
    return AudioLoop{static_cast<std::int64_t>(start), static_cast<std::int64_t>(end - start)};
}

TrackSpan plan_track_span(const TrackLength& length, double tick_length_ms, int loops)
{
    TrackSpan span;
    if (length.kind == TrackLength::Kind::ends) {
        span.end_tick = length.end_tick + 1;
        span.music_ms = tick_time_ms(length.end_tick, tick_length_ms);
        return span;
    }
    span.loops = true;
    const std::int64_t start = length.loop_start_tick;
    span.end_tick = start + static_cast<std::int64_t>(loops) * length.loop_ticks;
    span.music_ms = tick_time_ms(span.end_tick, tick_length_ms);
    if (!length.cycles_differ) {
        span.loop_start_ms = tick_time_ms(start, tick_length_ms);
        span.loop_end_ms = tick_time_ms(start + length.loop_ticks, tick_length_ms);
    }
    return span;
}

}  // namespace tambelo
