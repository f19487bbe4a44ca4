#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tambelo {

// Adds Vorbis comments ("NAME", "value") to the FLAC file at `path`, beside
// those it has; libsndfile writes only its fixed set of tags. Returns an
// empty string, or a one-line reason.
std::string add_flac_comments(const std::string& path, const std::vector<std::pair<std::string, std::string>>& comments);

}  // namespace tambelo
