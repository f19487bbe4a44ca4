#pragma once

#include "library/render/render_settings.h"

#include <cstddef>
#include <vector>

namespace tambelo {

// Length of the cross-fade that closes a seamless loop (see below).
inline constexpr double seamless_blend_ms = 20.0;

// Cuts a rendering of a looping track's intro and first two passes into the
// track's audio with its loop once, to be repeated by a player: the intro,
// then the loop's second pass, which begins with the tails of notes and
// effects that run over the loop's end. The second pass rather than the
// first with its overhang folded back onto its start: the second pass is
// what every later pass sounds like (the overhang meets the new pass's notes
// and controller changes in the synthesizer, which a sum of two renderings
// would not), and the intro's own overhang does not repeat with every pass.
//
// The synthesizer places events on a grid of 64 frames, so two passes never
// line up to the frame unless the loop's length is a multiple of 64; the
// last `blend` frames of the pass therefore cross-fade into the last frames
// of the pass before, whose continuation the pass begins with, so that the
// loop's end runs into its start without a seam. The intro's last frames do
// the same, since the pass that follows it is not the first but the second.
// Everything else is the rendering as it is. Frames arrive in order and
// leave in order; only the blends are held.
class SeamlessCut {
public:
    // `intro` and `loop` frames; `sink` receives intro + loop frames in all.
    // A rendering that starts at `first_frame` (a seek; no later than the
    // intro's blend) arrives from there and leaves from there.
    SeamlessCut(std::size_t intro, std::size_t loop, std::size_t blend, FrameSink sink, std::size_t first_frame = 0);

    // The next `count` frames of the rendering; false when the sink refused some.
    bool take(const float* frames, std::size_t count);

private:
    bool send_blended(std::vector<float>& frames, std::size_t count);

    std::size_t intro_, loop_, blend_, intro_blend_;
    FrameSink sink_;
    std::vector<float> first_end_;  // the last `blend_` frames of the first pass
    std::vector<float> intro_end_;  // the last `intro_blend_` frames of the intro
    std::vector<float> pass_end_;   // the last `blend_` frames of the second pass
    std::size_t at_ = 0;            // frames of the rendering seen so far
};

}  // namespace tambelo
