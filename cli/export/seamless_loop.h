#pragma once

#include "cli/export/audio_file.h"
#include "cli/export/sample_frames.h"
#include "library/offline_render.h"

#include <cstddef>
#include <functional>
#include <optional>

namespace tambelo {

class AudioRenderer;

// Length of the cross-fade that closes a seamless loop (see below).
inline constexpr double seamless_blend_ms = 20.0;

// A looping track's audio with its loop once, to be repeated by a player:
// the intro, then the loop's second pass, which begins with the tails of
// notes and effects that run over the loop's end. The synthesizer places
// events on a grid of 64 frames, so two passes never line up to the frame
// unless the loop's length is a multiple of 64; the last 20 ms of the pass
// therefore cross-fade into the last 20 ms of the pass before, whose
// continuation the pass begins with, so that the loop's end runs into its
// start without a seam. The intro's last 20 ms do the same, since the pass
// that follows it is not the first but the second. Everything else is the
// rendering of two passes as it is. Lasts the loop's start plus its length, in frames of
// `loop_frames`; a track without such a loop gives no audio (0 frames).
// The frames go to `sink` piece by piece; the number of frames, or nothing
// when the sink refused some.
std::optional<std::size_t> export_seamless_audio(OfflineTrack& track, AudioRenderer& renderer,
                                                 const std::function<bool(const float*, std::size_t)>& sink);

}  // namespace tambelo
