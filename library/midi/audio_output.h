#pragma once

#include "library/midi/fluid_synth_setup.h"

#include <memory>
#include <string>

namespace tambelo {

// A running audio output: a thread of the output's (or of its server's)
// asks a render callback for each buffer and plays it. Destroying it stops
// the thread first, so the callback is never called after that.
class AudioOutput {
public:
    virtual ~AudioOutput() = default;
};
using AudioOutputPtr = std::unique_ptr<AudioOutput>;

// Starts an audio output for `synth`, trying the sound servers and drivers
// this system offers: PulseAudio's own server through an output of ours,
// then FluidSynth's drivers (PipeWire, PulseAudio, which PipeWire also
// serves; JACK when a server already runs, never starting one; ALSA; OSS).
// Returns null when none opens, with a one-line reason in `why`. Quiet: the
// sound libraries' own messages are silenced. The output must be destroyed
// before the synth. With `render`, the output asks `render` (with
// `render_data`) for each buffer instead of rendering the synth itself
// (PulseAudio's own server is served only then). `synth.sample_rate`
// becomes the rate the output runs at where the driver makes the synth
// follow its server's (JACK).
AudioOutputPtr open_audio_output(GsSynth& synth, std::string* why = nullptr,
                                 fluid_audio_func_t render = nullptr, void* render_data = nullptr);

}  // namespace tambelo
