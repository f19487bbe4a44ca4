#pragma once

#include "library/midi/audio_output.h"

#include <fluidsynth.h>

namespace tambelo {

// Plays what `render` (called with `render_data`, as FluidSynth's drivers
// call it) renders through PulseAudio's own sound server, in writes of 64
// frames at `sample_rate` Hz into a server buffer of 30 ms.
//
// Why not FluidSynth's PulseAudio driver there: it asks for a server buffer
// of one write, and PulseAudio's own server then runs dry a dozen times in
// ten seconds under a 64-frame writer; larger writes instead make the
// moments at which the output asks for sound too coarse to time notes by.
// A buffer larger than a write keeps both. PipeWire's PulseAudio side is
// served well by FluidSynth's driver as it is, so there this returns null.
//
// The stream never pauses to fill up again: sound that reaches a server that
// ran dry too late is skipped, so that every later note stays on its frame.
// The output's threads (ours and libpulse's event thread) ask for real-time
// priority, as audio threads do.
//
// Returns null as well when no PulseAudio server runs (it never starts
// one) or the stream cannot be set up. Prints nothing.
AudioOutputPtr open_pulse_stream_output(double sample_rate, fluid_audio_func_t render,
                                        void* render_data);

}  // namespace tambelo
