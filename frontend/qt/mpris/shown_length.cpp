#include "frontend/qt/mpris/shown_length.h"

#include "library/offline_render.h"

#include <cmath>

namespace tambelo::frontend {

std::optional<std::int64_t> shown_length_us(const std::filesystem::path& score_path,
                                            const std::filesystem::path& voice_path, std::int32_t track)
{
    if (track <= 0)
        return std::nullopt;
    const auto measured = OfflineTrack::open_set_track(score_path.string(), voice_path.string(), track);
    if (!measured)
        return std::nullopt;
    const TrackLength& length = measured->length();
    const double tick_ms = measured->tick_length_ms();
    const double ms = length.kind == TrackLength::Kind::ends
                          ? tick_time_ms(length.end_tick, tick_ms)
                          : tick_time_ms(length.loop_start_tick, tick_ms) +
                                2.0 * static_cast<double>(length.loop_ticks) * tick_ms;
    return static_cast<std::int64_t>(std::llround(ms * 1000.0));
}

}  // namespace tambelo::frontend
