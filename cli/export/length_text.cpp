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

std::string describe_length(const tambelo_track_info& info)
{
    if (!info.loops)
        return format_length(info.intro_ms);
    std::string text = format_length(info.intro_ms) + " + " + format_length(info.loop_ms) + " loop";
    if (info.loops_differ)
        text += " (channel loops differ, longest)";
    return text;
}

}  // namespace tambelo
