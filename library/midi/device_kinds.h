#pragma once

#include "library/midi/midi_device.h"
#include "library/midi/soundfont_presets.h"

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tambelo {

using DeviceOpener = std::unique_ptr<MidiDevice> (*)(const std::string& argument, std::string* why);

// One kind of output device a name can choose. A name is the kind's prefix,
// alone or followed by ':' and the device's argument.
struct DeviceKind {
    std::string_view prefix;
    bool takes_argument;
    bool needs_argument;
    DeviceOpener open;
};

// The output devices this build has: one table per platform (the Linux
// table in device_kinds_linux.cpp, the Windows one in
// device_kinds_windows.cpp), chosen by the build.
std::span<const DeviceKind> device_kinds();

// The name of the device used when TAMBELO_MIDI_OUT is unset.
std::string_view default_device_kind();

// The names a user may give, for help texts and messages, such as
// "synth, synth:SOUNDFONT, port:NAME or none".
std::string_view device_names_help();

// A SoundFont the embedded synthesizer plays, with the presets it holds.
struct PlayedSoundFont {
    std::string path;
    std::vector<PresetNumber> presets;
};

// The SoundFonts the embedded synthesizer ("synth", or "synth:" `chosen`)
// plays, bottom first, read without loading them: `chosen` alone, or with
// `chosen` empty the system's SoundFont and any supplement stacked over it
// (fluid_synth_setup.h). Empty where this build has no embedded synthesizer
// (on Windows the sound goes to MIDI devices, whose presets no one can
// read) or none can be read.
std::vector<PlayedSoundFont> embedded_synth_soundfonts(const std::string& chosen = {});

}  // namespace tambelo
