#pragma once

namespace tambelo {

// FluidSynth, the ALSA library and the JACK client library print their
// errors on stderr by default, and the playback library must stay quiet.
//
// ALSA and JACK: installs silent handlers (process-wide), remembering the
// ones it replaces; does nothing while ours are in place.
//
// FluidSynth: its log functions are set once, when this code is loaded, and
// only when FluidSynth came into the process with it (so no host can have
// set one of its own: FluidSynth hands back a replaced function but never
// its data pointer, and a host's function could not be put back whole).
// They are put back to FluidSynth's default when this code is unloaded,
// unless the host has set its own meanwhile. In a host that had FluidSynth
// loaded before, FluidSynth's messages go wherever that host has them go.
// Errors FluidSynth reports on the calling thread while ours are in place
// are kept for `last_fluid_error`.
void silence_sound_libraries();

// Puts back the ALSA and JACK handlers that `silence_sound_libraries`
// replaced, each only while ours is still the one in place (a handler the
// host has set since stays). Ours point into this library's code: a host
// that unloads the library and then calls one of the sound libraries would
// jump into unmapped memory. Call it only when none of our sound objects is
// left (the shared library does at release, once its playback thread has
// ended).
void restore_sound_libraries();

// While one lives, GLib's messages without a log domain are swallowed. The
// library FluidSynth reads DLS files with is tried on any file that is no
// good SoundFont, and it logs an assertion failure through GLib (on stderr
// by default) for every file it cannot parse. Held around the loading of a
// SoundFont; GLib's handler goes again with the last one, so that the
// host's own handlers are as they were.
class QuietSoundFontLoading {
public:
    QuietSoundFontLoading();
    ~QuietSoundFontLoading();
    QuietSoundFontLoading(const QuietSoundFontLoading&) = delete;
    QuietSoundFontLoading& operator=(const QuietSoundFontLoading&) = delete;
};

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
