#pragma once

#include "library/midi/midi_device.h"

#include <string>

namespace tambelo::cli {

// A note for the user about the device that opened for the name `name`
// (null when none did), one line per matter; empty when there is nothing to
// say. On Linux: a SoundFont chosen with synth:PATH that was passed over for
// another. The Windows outputs open as named or not at all.
std::string output_note(const std::string& name, MidiDevice* device);

// What the device that opened plays with, for the first line the play
// command prints: on Linux the embedded synthesizer's SoundFonts
// ("SoundFonts \"/a/GS.sf2\" over \"/a/GM.sf2\"", or "SoundFont \"/a/GM.sf2\"");
// empty for any other device.
std::string output_sound(MidiDevice* device);

// Whether `device` (while its player lives) has lost its audio output (the
// sound server went away) and plays on unheard until one opens again. Any
// thread.
bool output_lost(const MidiDevice* device);

}  // namespace tambelo::cli
