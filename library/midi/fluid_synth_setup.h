#pragma once

#include <fluidsynth.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tambelo {

// Owning handles for FluidSynth objects.
struct FluidSettingsDeleter {
    void operator()(fluid_settings_t* settings) const { delete_fluid_settings(settings); }
};
// Synthesizers are created and deleted one at a time, under one lock: the
// first one fills process-wide tables, and FluidSynth's SoundFont library
// (libinstpatch) is set up by each creation and torn down by each deletion,
// so that a deletion on one thread would race a creation on another.
struct FluidSynthDeleter {
    void operator()(fluid_synth_t* synth) const;
};
struct FluidAudioDriverDeleter {
    void operator()(fluid_audio_driver_t* driver) const { delete_fluid_audio_driver(driver); }
};
using FluidSettingsPtr = std::unique_ptr<fluid_settings_t, FluidSettingsDeleter>;
using FluidSynthPtr = std::unique_ptr<fluid_synth_t, FluidSynthDeleter>;
using FluidAudioDriverPtr = std::unique_ptr<fluid_audio_driver_t, FluidAudioDriverDeleter>;

// The device id our GS reset message carries (byte 2 of F0 41 20 42 ...).
// FluidSynth acts on a Roland or universal System Exclusive message only when
// its id byte equals the synth's "synth.device-id" setting or is 0x7F
// ("all devices"); its default id is 0, which would make it drop our reset
// without a word. The synth is therefore created with this id.
inline constexpr int gs_device_id = 0x20;

inline constexpr double default_sample_rate = 44100.0;

// Where the search for a SoundFont looks: single files first (the system's
// default General MIDI SoundFont links), then every SoundFont directly
// inside each folder, folder by folder.
//
// `supplements` are SoundFonts of GS variation tones only (banks other than
// 0, such as fluid-soundfont-gs's), made to sit over a General MIDI one: on
// their own they would play nearly nothing, so they are never candidates
// unless chosen, and when no SoundFont was chosen each one installed is
// stacked over the one found, so that the voices a score asks for in those
// banks play as written instead of falling back to bank 0.
struct SoundFontSearch {
    std::vector<std::string> default_files;
    std::vector<std::string> folders;
    std::vector<std::string> supplements;
};

// The usual places: the system's default links, then the user's SoundFont
// folder (under XDG_DATA_HOME, else HOME) and the system's folders; the
// supplement fluid-soundfont-gs installs.
SoundFontSearch system_soundfont_search();

// The SoundFonts to try, in order: `chosen` (when not empty), then what
// `search` finds, each folder in name order, leaving out its supplements.
// Only files that exist are listed, each once; the list may be empty.
std::vector<std::string> soundfont_candidates(const std::string& chosen = {},
                                              const SoundFontSearch& search = system_soundfont_search());

// The supplements of `search` that are installed, in the order they are
// stacked (the last is searched first); none when a SoundFont is chosen:
// a SoundFont the user names plays alone, as it is.
std::vector<std::string> soundfont_supplements(const std::string& chosen = {},
                                               const SoundFontSearch& search = system_soundfont_search());

// The SoundFonts a synth made by `create_gs_synth(chosen, ..., search)`
// plays, bottom first, found without loading them: the first candidate
// whose preset headers can be read, then the supplements. Empty when none
// can be read. A candidate FluidSynth fails on after its headers are read
// would be passed over by the synth, so this is what plays in every case
// but that one.
std::vector<std::string> soundfonts_to_play(const std::string& chosen = {},
                                            const SoundFontSearch& search = system_soundfont_search());

// The SoundFonts `soundfonts` (bottom first) as a person reads them, the one
// searched first first, each path in quotes: "/a/GS.sf2" over "/a/GM.sf2".
std::string soundfont_stack_text(const std::vector<std::string>& soundfonts);

// A FluidSynth synthesizer set up as a GS sound module: bank select by
// controller 0 as GS does, the drum part on MIDI channel 9, answering System
// Exclusive messages for `gs_device_id`, one SoundFont loaded, perhaps with
// supplements stacked over it. Members are declared so that the synth goes
// before its settings.
struct GsSynth {
    FluidSettingsPtr settings;
    FluidSynthPtr synth;
    std::string soundfont;  // the SoundFont that was loaded (the chosen one or the system's)
    // Every SoundFont loaded, bottom first: `soundfont`, then the supplements
    // stacked over it. FluidSynth looks for a preset in the last first.
    std::vector<std::string> soundfonts;
    double sample_rate = default_sample_rate;
};

// Creates the synth with the first SoundFont of `soundfont_candidates(chosen, search)`
// that FluidSynth can load; a missing or unreadable file is passed over.
// When `chosen` is empty the supplements of `search` that load are stacked
// over it.
// Returns nothing when no SoundFont could be loaded (or FluidSynth fails),
// with a one-line reason in `why` when given. Prints nothing: FluidSynth's
// own log output is silenced. The synth has no audio driver; render it with
// fluid_synth_write_float / fluid_synth_write_s16, or attach an output with
// `open_audio_output` (audio_output.h). Never throws.
std::optional<GsSynth> create_gs_synth(const std::string& chosen_soundfont,
                                       double sample_rate = default_sample_rate,
                                       std::string* why = nullptr,
                                       const SoundFontSearch& search = system_soundfont_search());

// Another synth set up as `loaded` is, playing the SoundFonts that `loaded`
// has loaded, stacked alike, without reading or scanning it again (a few tenths of a
// millisecond where loading a large SoundFont takes a good part of a
// second). It sounds exactly as a synth that loaded the same file would.
// `loaded` must outlive it, and both must be used from one thread at a time
// (they share the SoundFont's presets). Nothing when FluidSynth fails, with a
// one-line reason in `why`.
std::optional<GsSynth> create_gs_synth_sharing(const GsSynth& loaded, std::string* why = nullptr);

}  // namespace tambelo
