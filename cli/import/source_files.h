#pragma once

#include "cli/import/import_model.h"
#include "cli/import/voice_numbers.h"

#include <string>

namespace tambelo {

// The voice set of an imported song in TOML: its tempo base, its start
// voices when the file said them, the numbered voices, and a drum map that
// plays every drum note the song uses as itself.
std::string write_voice_set(const ImportedSong& song, const VoiceNumbers& voices);

// set.toml for one track.
std::string write_set_file(const std::string& set_title, const std::string& track_title);

}  // namespace tambelo
