#pragma once

#include <optional>
#include <string>

namespace tambelo {

// ReplayGain 2.0: the gain that brings a rendering to -18 LUFS, and its
// peak as a linear sample value (1.0 is full scale).
inline constexpr double replay_gain_reference_lufs = -18.0;

struct ReplayGainTags {
    double track_gain_db = 0.0;
    double track_peak = 0.0;
    std::optional<double> album_gain_db;  // with album_peak, when a whole set is written
    std::optional<double> album_peak;
};

// "-3.21 dB", as REPLAYGAIN_*_GAIN comments hold it.
std::string replay_gain_text(double gain_db);
// "0.123456", as REPLAYGAIN_*_PEAK comments hold it.
std::string replay_peak_text(double peak);

// A normalized export's highest sample: -1 dBFS, 10^(-1/20).
inline constexpr double normalized_peak_ceiling = 0.89125093813374556;
// What normalization aims at when the peak limits it: two 16-bit steps
// below the ceiling, so that a file's rounding (towards minus infinity, one
// step further from zero for negative samples) stays at or below it.
inline constexpr double normalized_peak_aim = normalized_peak_ceiling - 2.0 / 32768.0;

// The linear gain that brings a rendering of integrated loudness `lufs` and
// sample peak `peak` to `target_lufs`, lowered where the peak would rise
// above normalized_peak_ceiling (to normalized_peak_aim); `lufs_reached` is the loudness with it.
// A silent rendering (no finite loudness, or no peak) keeps gain 1.
struct Normalization {
    double gain = 1.0;
    double lufs_reached = 0.0;
    bool target_reached = false;
};
Normalization normalization_for(double lufs, double peak, double target_lufs);

}  // namespace tambelo
