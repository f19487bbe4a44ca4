#pragma once

#include <cstddef>
#include <functional>

namespace tambelo {

// What a rendering makes of a looping track.
enum class LoopMode {
    fade,      // the intro, `loops` passes of the loop, then a fade-out
    seamless,  // the intro and one pass of the loop that repeats without a seam
    forever,   // the loop again and again, never ending (for players that loop on their own)
};

struct RenderSettings {
    LoopMode loop_mode = LoopMode::fade;
    int loops = 2;            // fade: times the loop is played
    double fade_ms = 8000.0;  // fade: the fade-out after the loops
    // A track that ends by itself: keep what still sounds after its end
    // until it dies away (else the audio stops where the music does).
    bool release_tail = true;
};

// Takes `count` interleaved stereo frames; false stops the rendering.
using FrameSink = std::function<bool(const float* frames, std::size_t count)>;

}  // namespace tambelo
