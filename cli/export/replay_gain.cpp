#include "cli/export/replay_gain.h"

#include <cmath>
#include <cstdio>

namespace tambelo {

std::string replay_gain_text(double gain_db)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f dB", gain_db);
    return text;
}

std::string replay_peak_text(double peak)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", peak);
    return text;
}

Normalization normalization_for(double lufs, double peak, double target_lufs)
{
    Normalization chosen;
    chosen.lufs_reached = lufs;
    if (!std::isfinite(lufs) || !(peak > 0.0))
        return chosen;
    chosen.gain = std::pow(10.0, (target_lufs - lufs) / 20.0);
    chosen.target_reached = true;
    if (peak * chosen.gain > normalized_peak_ceiling) {
        chosen.gain = normalized_peak_aim / peak;
        chosen.target_reached = false;
    }
    chosen.lufs_reached = lufs + 20.0 * std::log10(chosen.gain);
    return chosen;
}

}  // namespace tambelo
