#pragma once

#include "library/midi/midi_device.h"

#include <memory>
#include <string>

namespace tambelo {

// The one place that knows which output devices exist. A device is named by
// a short text: "none" for the null device; "synth" or "synth:PATH" for the
// embedded synthesizer; "port:NAME" for an external MIDI port.
//
// Returns the opened device, or null when it cannot be opened; `why`, when
// given, receives a one-line reason for the failure. Never throws.
std::unique_ptr<MidiDevice> open_named_device(const std::string& name, std::string* why = nullptr);

// The device the playback thread opens by default, in the role of the
// system's MIDI mapper: the one named by the environment variable
// TAMBELO_MIDI_OUT, or the embedded synthesizer when it is unset.
std::string default_device_name();

}  // namespace tambelo
