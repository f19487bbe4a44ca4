#pragma once

#include "library/midi/midi_device.h"

#include <memory>
#include <span>
#include <string>
#include <string_view>

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

}  // namespace tambelo
