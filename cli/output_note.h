#pragma once

#include "library/midi/midi_device.h"

#include <string>

namespace tambelo::cli {

// A note for the user about the device that opened for the name `name`
// (null when none did), one line per matter; empty when there is nothing to
// say. On Linux: a SoundFont chosen with synth:PATH that was passed over for
// another, and a TAMBELO_SYNTH_LATENCY_MS the synth did not use. The Windows
// outputs open as named or not at all.
std::string output_note(const std::string& name, MidiDevice* device);

// Whether `device` (while its player lives) has stopped timing messages on
// the audio output's clock, because the audio server gave it none it could
// use, and applies them as they come. Any thread.
bool output_gave_up_timing(const MidiDevice* device);

}  // namespace tambelo::cli
