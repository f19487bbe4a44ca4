#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tambelo::cli {

// The title lines of the music set whose score archive is `set_path`, read
// from the title list beside it.
std::vector<std::string> load_track_titles(const std::string& set_path);

// The title line shown for `track`, without leading blanks.
std::string track_title_line(const std::vector<std::string>& titles, std::int32_t track);

}  // namespace tambelo::cli
