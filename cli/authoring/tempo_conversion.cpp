#include "cli/authoring/tempo_conversion.h"

#include "cli/authoring/score_source.h"

#include <algorithm>
#include <cmath>

namespace tambelo {
namespace {

constexpr double tick_numerator_ms = 1136.3645833333333;

// Tick length divisor for `bpm`: ticks per minute = bpm * 48, and a tick of
// numerator / divisor ms.
double divisor_for_bpm(double bpm)
{
    return bpm * ticks_per_quarter * tick_numerator_ms / 60000.0;
}

}  // namespace

int lowest_tempo(int tempo_base)
{
    return std::max(0, tempo_base - 63);
}

double bpm_for_tempo(int tempo, int tempo_base)
{
    const int divisor = tempo - tempo_base + 64;
    return 60000.0 * divisor / (ticks_per_quarter * tick_numerator_ms);
}

std::optional<int> tempo_for_bpm(double bpm, int tempo_base)
{
    const double divisor = std::round(divisor_for_bpm(bpm));
    const double tempo = divisor + tempo_base - 64;
    if (divisor < 1 || tempo < lowest_tempo(tempo_base) || tempo > 255)
        return std::nullopt;
    return static_cast<int>(tempo);
}

}  // namespace tambelo
