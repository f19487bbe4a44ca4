#pragma once

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace tambelo {

// What TAMBELO_SYNTH_LATENCY_MS asks of the live synthesizer's timing. Kept
// in this header alone so that the window program, which reaches the
// library only through its seven exports, reads the variable by the same
// rules to tell its user about a value the library will not use.
struct SynthLatencySetting {
    bool given = false;        // a usable value is set
    double latency_ms = 0.0;   // 0 to 1000; 0 turns the timeline off
    std::string problem;       // a value that was set but cannot be used, in one line
};

inline constexpr double default_synth_latency_ms = 10.0;
inline constexpr double max_synth_latency_ms = 1000.0;

// Reads the variable now. Prints nothing.
inline SynthLatencySetting read_synth_latency_setting()
{
    SynthLatencySetting setting;
    const char* text = std::getenv("TAMBELO_SYNTH_LATENCY_MS");
    if (text == nullptr || *text == '\0')
        return setting;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text, &end);
    if (errno == 0 && end != text && *end == '\0' && value >= 0.0 && value <= max_synth_latency_ms) {
        setting.given = true;
        setting.latency_ms = value;
        return setting;
    }
    char used[32];
    std::snprintf(used, sizeof used, "%g", default_synth_latency_ms);
    setting.problem = "TAMBELO_SYNTH_LATENCY_MS=\"" + std::string(text) +
                      "\" was not used (it takes milliseconds from 0 to 1000); playing with the "
                      "default timing instead (at least " + used + " ms, adapting to the audio server)";
    return setting;
}

}  // namespace tambelo
