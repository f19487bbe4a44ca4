#pragma once

#include "library/midi/midi_device.h"

#include <memory>
#include <string>

namespace tambelo {

// Opens an output device by its name, a short text. On Linux: "none" for the
// null device; "synth" or "synth:PATH" for the embedded synthesizer;
// "port:NAME" for an external MIDI port. On Windows: "mapper" for the MIDI
// mapper, "port:NAME" for a MIDI output, "none". The names each build knows
// are listed in one table per platform (device_kinds.h).
//
// Returns the opened device, or null when it cannot be opened; `why`, when
// given, receives a one-line reason for the failure. Never throws.
std::unique_ptr<MidiDevice> open_named_device(const std::string& name, std::string* why = nullptr);

// The device the playback thread opens by default, in the role of the
// system's MIDI mapper: the one named by the environment variable
// TAMBELO_MIDI_OUT, or when it is unset the embedded synthesizer (Linux) or
// the MIDI mapper itself (Windows).
std::string default_device_name();

}  // namespace tambelo
