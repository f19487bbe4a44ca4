#pragma once

#include "library/midi/audio_output.h"

#include "library/midi/frame_ring.h"

namespace tambelo {

// Plays what is written to `ring` (stereo at `sample_rate` Hz) through a
// PulseAudio server (PipeWire's PulseAudio side too), keeping two seconds of
// it in the server, as stock players do: a stall of the machine, of our
// threads or of the server then costs nothing heard. When the ring's writer
// drops its sound (a stop, another track: `wake`), the server drops what it
// holds too, so the change is heard at once. The output's threads (ours and
// libpulse's event thread) ask for real-time priority, as audio threads do.
//
// Returns null when no PulseAudio server runs (it never starts one) or the
// stream cannot be set up. Prints nothing.
AudioOutputPtr open_pulse_stream_output(double sample_rate, FrameRing& ring);

}  // namespace tambelo
