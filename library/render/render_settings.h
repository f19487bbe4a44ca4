#pragma once

#include <cstddef>
#include <cstdint>
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
    // Seamless: the longest loop rendered so. The call that reaches the end
    // of the intro renders the loop's first pass, which is dropped, before it
    // returns (see SeamlessCut): for a five-minute loop at 44.1 kHz about
    // 1.5 s on a busy two-core machine, in proportion to the loop and the
    // rate. A longer loop is rendered as in fade mode. A host that pulls
    // audio as it plays keeps the bound; a file export need not.
    double longest_seamless_loop_ms = 5 * 60 * 1000.0;
    // Score channels whose notes do not sound (bit k: channel k). Their other
    // events (voices, controllers, pan, fine tune) still reach the
    // synthesizer and the plan of the rendering is the same, so the other
    // channels sound as in the full mix; only a release tail, judged on what
    // sounds, may end sooner.
    std::uint16_t muted_channels = 0;
};

// Takes `count` interleaved stereo frames; false stops the rendering.
using FrameSink = std::function<bool(const float* frames, std::size_t count)>;

}  // namespace tambelo
