#pragma once

#include <cstdint>
#include <string>

namespace tambelo {

// The files of a music set named by its score archive. The voice archive and
// the title list are found as the window program finds them: the score
// archive's path with its last four characters (its ".dat") replaced by
// ".mda" and ".txt".
struct MusicSetFiles {
    std::string score;
    std::string voice;
    std::string titles;
};

MusicSetFiles music_set_files(const std::string& score_path);

// Number of tracks in the score archive: entries 1..n all present. 0 when
// the archive cannot be read or holds none.
std::int32_t count_tracks(const std::string& score_path);

}  // namespace tambelo
