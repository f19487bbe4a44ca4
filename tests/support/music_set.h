#pragma once

#include "tests/support/temp_dir.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tambelo::testing {

struct MusicSetPaths {
    std::string score;  // amus.dat
    std::string voice;  // amus.mda
};

// Writes a score archive and a voice archive into `folder`, one entry per
// track (track n is element n - 1 of each list).
MusicSetPaths write_music_set(const TempDir& folder, const std::vector<std::vector<std::uint8_t>>& scores,
                              const std::vector<std::vector<std::uint8_t>>& voice_sets,
                              const std::string& name = "amus");

}  // namespace tambelo::testing
