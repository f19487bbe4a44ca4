#pragma once

namespace tambelo {

// FluidSynth, the ALSA library and the JACK client library print their
// errors on stderr by default, and the playback library must stay quiet.
// Installs silent handlers for all three (their handlers are process-wide),
// remembering the ones it replaces; does nothing while ours are in place.
// Errors FluidSynth reports on the calling thread are kept for
// `last_fluid_error`.
void silence_sound_libraries();

// Puts back the handlers that `silence_sound_libraries` replaced. Ours point
// into this library's code: a host that unloads the library and then calls
// one of the sound libraries would jump into unmapped memory. Call it only
// when none of our sound objects is left (the shared library does at
// release, once its playback thread has ended). FluidSynth gives back a log
// function but not the data pointer that went with it; the function is put
// back with a null one.
void restore_sound_libraries();

// The last error FluidSynth reported on the calling thread since
// `clear_fluid_error`; empty when none.
const char* last_fluid_error();
void clear_fluid_error();

// Whether a JACK server runs now. Never starts one (a client that finds no
// server would otherwise try to launch it).
bool jack_server_running();

// The sample rate of the JACK server that runs, in frames per second; 0 when
// none runs. Never starts one.
double jack_server_sample_rate();

// Whether the ALSA sequencer (the kernel's MIDI routing) can be opened.
bool alsa_sequencer_available();

}  // namespace tambelo
