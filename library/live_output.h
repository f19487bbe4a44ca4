#pragma once

#include "library/midi/midi_device.h"

#include <string>
#include <vector>

// What a live player tells its host of the output device it opened, where
// the platforms differ: Linux plays on the embedded synthesizer, which says
// what it loaded and whether its audio output went away; the Windows outputs
// open as named or not at all, and say nothing more.
namespace tambelo {

// Notes for the user about the device that opened for the name `name` (null
// when none did), one line each: on Linux a SoundFont chosen with
// synth:PATH that was passed over for another.
std::vector<std::string> opened_output_notes(const std::string& name, MidiDevice* device);

// What the device plays with: on Linux the embedded synthesizer's
// SoundFonts ("SoundFonts \"/a/GS.sf2\" over \"/a/GM.sf2\"", or
// "SoundFont \"/a/GM.sf2\""); empty for any other device.
std::string opened_output_sound(MidiDevice* device);

// Whether `device` (null: none) has lost its audio output and plays on
// unheard until one opens again. Any thread, while its player lives.
bool device_output_lost(const MidiDevice* device);

}  // namespace tambelo
