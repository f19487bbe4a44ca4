#pragma once

#include "library/midi/fluid_synth_setup.h"
#include "library/midi/frame_ring.h"

#include <memory>
#include <string>

namespace tambelo {

// A running audio output: a thread of the output's (or of its server's)
// takes the sound waiting in a ring and plays it. Destroying it stops that
// thread first, so the ring is never read after that.
class AudioOutput {
public:
    virtual ~AudioOutput() = default;
    // The ring's writer dropped what it had written (a stop, another track):
    // an output that waits on its server looks at the ring again at once and
    // drops the sound queued in the server too. Any thread.
    virtual void wake() {}
    // Whether the output has stopped for good (its server went away). Only
    // an output that `tells_failure` knows; of the others, the ring's writer
    // can only see that they take nothing. Any thread.
    virtual bool failed() const { return false; }
    virtual bool tells_failure() const { return false; }
};
using AudioOutputPtr = std::unique_ptr<AudioOutput>;

// Starts an audio output playing what is written to `ring` (stereo at
// `synth.sample_rate`), trying the sound servers and drivers this system
// offers: PulseAudio's server (PipeWire's too) through an output of ours,
// then FluidSynth's drivers (PipeWire, PulseAudio, JACK when a server already
// runs, never starting one; ALSA; OSS), which ask for the ring's sound a
// period at a time and get silence where it has none. Returns null when none
// opens, with a one-line reason in `why`. Quiet: the sound libraries' own
// messages are silenced. The output must be destroyed before the ring and
// the synth. `synth.sample_rate` becomes the rate the output runs at where
// the driver makes the synth follow its server's (JACK).
AudioOutputPtr open_audio_output(GsSynth& synth, FrameRing& ring, std::string* why = nullptr);

}  // namespace tambelo
