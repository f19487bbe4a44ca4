#pragma once

#include "library/midi/audio_output.h"

#include "library/midi/frame_ring.h"

namespace tambelo {

// Plays what is written to `ring` (stereo at `sample_rate` Hz) through a
// PulseAudio server (PipeWire's PulseAudio side too), keeping a quarter of a
// second of it in the server, as stock players keep seconds: a stall of the
// machine or of our threads then costs nothing heard. When the ring's writer
// drops its sound (a stop, another track: `wake`), the server drops what it
// holds too, so the change is heard at once. The output's threads (ours and
// libpulse's event thread) ask for real-time priority, as audio threads do.
//
// Returns null when no PulseAudio server runs (it never starts one) or the
// stream cannot be set up. Prints nothing.
AudioOutputPtr open_pulse_stream_output(double sample_rate, FrameRing& ring);

}  // namespace tambelo
