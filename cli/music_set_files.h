#pragma once

#include "tambelo/music_set.h"

#include <cstdint>
#include <string>

namespace tambelo {

// The files of a music set named by its score archive: the voice archive and
// the title list are found by the library's one rule (the same name with
// ".mda" and ".txt" in any case; the lower-case names when neither is there).
struct MusicSetFiles {
    std::string score;
    std::string voice;
    std::string titles;
};

MusicSetFiles music_set_files(const std::string& score_path);

// What the score archive's first bytes say it is; not a set when it cannot
// be read.
ScoreIdentity identify_set_file(const std::string& score_path);

// The number of tracks of the score archive, which must be a music set:
// otherwise the command fails with the one message every host gives.
std::int32_t require_music_set(const std::string& score_path);

}  // namespace tambelo
