#pragma once

#include "library/frozen_clock_sequencer.h"

#include <cstddef>

namespace tambelo {

// The synthesizer a TrackRenderer drives: the renderer decides when each
// message is due and how many frames lie before it, the synthesizer only
// takes messages and writes sound. Natively it is FluidSynth (RenderSynth);
// the web build's calls a FluidSynth compiled for the page.
//
// The renderer counts on FluidSynth's way of timing: a message takes effect
// at the start of the next 64-frame processing block, counted from the
// synthesizer's first frame, however the frames are pulled.
class Synthesizer {
public:
    virtual ~Synthesizer() = default;

    virtual int sample_rate() const = 0;
    // Makes the synthesizer fresh for a track or a seek, so that the same
    // track always renders the same: nothing it played before still sounds
    // (effects included), and it stands at the start of a block.
    virtual void start_fresh() = 0;
    // Silences the synthesizer at once and resets its channels, keeping the
    // SoundFont, then stands at the start of a processing block as a new
    // one does. Its effects may still ring with what it played before.
    virtual void silence() = 0;
    // Hands one message to the synthesizer, as live playback does; it takes
    // effect at the start of the next processing block.
    virtual void send(const TimedMessage& message) = 0;
    // Renders the next `frames` interleaved stereo frames into `out`.
    virtual void write(float* out, std::size_t frames) = 0;
};

}  // namespace tambelo
