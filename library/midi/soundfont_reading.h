#pragma once

#include <fluidsynth.h>

namespace tambelo {

// FluidSynth's own SoundFont loader, reading files as it does, except that
// the memory the samples are read into is backed by huge pages where the
// system offers them. A large SoundFont's samples are read in one piece into
// fresh memory, and touching that memory page by page cost more than
// everything else in a one-track export (a General MIDI SoundFont of 148 MB
// is some 36,000 small pages, each a fault, and a costly one in a virtual
// machine). The samples read are the same either way. Null when FluidSynth
// cannot make the loader; give it to `fluid_synth_add_sfloader`.
fluid_sfloader_t* new_soundfont_loader(fluid_settings_t* settings);

}  // namespace tambelo
