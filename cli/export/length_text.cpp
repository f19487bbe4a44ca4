#include "cli/export/length_text.h"

#include <cmath>
#include <cstdio>

namespace tambelo {

std::string format_length(double ms)
{
    const long long total = std::llround(std::isfinite(ms) && ms > 0.0 ? ms : 0.0);
    char text[48];
    std::snprintf(text, sizeof text, "%lld:%02lld.%03lld", total / 60000, total / 1000 % 60, total % 1000);
    return text;
}

std::string describe_length(const TrackLength& length, double tick_length_ms)
{
    if (length.kind == TrackLength::Kind::ends)
        return format_length(tick_time_ms(length.end_tick, tick_length_ms));
    std::string text = format_length(tick_time_ms(length.loop_start_tick, tick_length_ms)) + " + " +
                       format_length(static_cast<double>(length.loop_ticks) * tick_length_ms) + " loop";
    if (length.cycles_differ)
        text += " (channel loops differ, longest)";
    return text;
}

}  // namespace tambelo
