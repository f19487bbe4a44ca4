#pragma once

#include "cli/export/music_set.h"

#include <nlohmann/json.hpp>
#include <tambelo/track_messages.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tambelo {

// The tracks `tracks` of a music set described as a JSON document, laid out
// as docs/tracks.schema.json says: the set's title, and for each track its
// number, title line, whether it compiles, whether it loops, ends by itself
// or has channel loops that differ, and its intro and loop lengths in
// milliseconds and in sample frames at `sample_rate` (the frames an audio
// export at that rate gives its loop points). `files` names the file each
// exported track went to (written as "file"; null for a track in `files`
// with an empty name, left out for tracks not in it). `soundfonts` are the
// SoundFonts the tracks play with (bottom first; none for MIDI or a MIDI
// device), listed, and each track says which of its voices fall back in
// them. Text is UTF-8, with invalid bytes replaced; ends with a newline.
std::string track_list_json(const MusicSetFiles& files, const SetTitles& titles,
                            const std::vector<std::int32_t>& tracks, int sample_rate,
                            const SynthSoundFonts& soundfonts,
                            const std::map<std::int32_t, std::string>& exported_files = {});

// The paths of `soundfonts`, and `fallbacks` as objects: channel, bank,
// program, and "plays", the bank and program played instead (null: silent).
nlohmann::ordered_json soundfont_paths_json(const SynthSoundFonts& soundfonts);
nlohmann::ordered_json voice_fallbacks_json(const std::vector<MissingVoice>& fallbacks);

}  // namespace tambelo
