#pragma once

// The seven plain C functions of the shared library (libtambelo.so on Linux,
// tambelo.dll on Windows). All are
// called from one thread of the caller, in this order: initialize once;
// open_file before the first play_music or get_next; then play_music,
// stop_music, get_next and get_prev as often as wanted; release last. None
// of them reports an error: the library falls back quietly (no sound, an
// unchanged track number) and the caller keeps its own track number.
//
// What the library does to process-wide state, so that it prints nothing:
// - The ALSA library's error handler and the JACK client library's error
//   and information functions are replaced with silent ones from the first
//   use of a MIDI or audio device until `release`, which puts back each
//   one as it was found unless the host has set another since.
// - FluidSynth's log functions (which FluidSynth lets anyone set but no one
//   read back whole) are replaced only when FluidSynth was loaded into the
//   process together with this library, at that load, before the host can
//   have set any; they are put back to FluidSynth's default when the library
//   is unloaded, unless the host has set its own meanwhile. A host that had
//   FluidSynth loaded before loading this library keeps its log functions
//   and data untouched, and FluidSynth's messages about the library's synth
//   then go to them.
// - While a SoundFont is being loaded, a handler of GLib's log for messages
//   without a domain swallows the assertion messages of the library that
//   FluidSynth reads DLS files with; it is removed again at once, so the
//   host's GLib handlers stay as they were.
// - On Windows, the system timer runs at a 1 ms period (timeBeginPeriod)
//   while the playback thread runs; the period is given back before
//   `release` returns.
// Nothing else is changed: no signal dispositions or masks of the host's
// threads, no locale, no environment.

#include <stdint.h>

// On Windows the exports use the standard calling convention, where the
// callee removes the arguments; elsewhere there is only one. The DLL's
// export table comes from tambelo.def alone (names and ordinals).
#if defined(_WIN32)
#define TAMBELO_API
#define TAMBELO_CALL __stdcall
#else
#define TAMBELO_API __attribute__((visibility("default")))
#define TAMBELO_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Creates the one Player and starts its playback thread, which opens the
// default MIDI output device. Returns the Player's address, or 0 when it
// cannot be allocated. While a Player lives, returns that Player and starts
// nothing new.
TAMBELO_API void* TAMBELO_CALL initialize(void);

// Stops the playback thread (the device is silenced and closed) and frees the
// Player. Waits for the thread without a time-out.
TAMBELO_API void TAMBELO_CALL release(void);

// Remembers the score archive and voice archive paths (NUL-terminated) for
// the next track preparation and the next get_next. A playing track plays on.
// A path of 4,096 bytes or more is taken as no path at all.
TAMBELO_API void TAMBELO_CALL open_file(const char* score_path, const char* voice_path);

// Asks for track `track` (from 1; 0 stops). A number equal to the last one
// accepted is ignored, so a playing track is not restarted.
TAMBELO_API void TAMBELO_CALL play_music(int32_t track);

// Asks for silence.
TAMBELO_API void TAMBELO_CALL stop_music(void);

// The track after `track`: track + 1 when the score archive holds it, `track`
// itself when it does not, 0 when the archive cannot be opened.
TAMBELO_API int32_t TAMBELO_CALL get_next(int32_t track);

// track - 1, but never less than 1.
TAMBELO_API int32_t TAMBELO_CALL get_prev(int32_t track);

#ifdef __cplusplus
}
#endif
