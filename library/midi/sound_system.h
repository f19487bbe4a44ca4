#pragma once

namespace tambelo {

// FluidSynth, the ALSA library and the JACK client library print their
// errors on stderr by default, and the playback library must stay quiet.
// Installs silent handlers for all three, once per process (their handlers
// are process-wide). Errors FluidSynth reports on the calling thread are
// kept for `last_fluid_error`.
void silence_sound_libraries();

// The last error FluidSynth reported on the calling thread since
// `clear_fluid_error`; empty when none.
const char* last_fluid_error();
void clear_fluid_error();

// Whether a JACK server runs now. Never starts one (a client that finds no
// server would otherwise try to launch it).
bool jack_server_running();

// Whether the ALSA sequencer (the kernel's MIDI routing) can be opened.
bool alsa_sequencer_available();

}  // namespace tambelo
