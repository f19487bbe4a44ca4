#pragma once

#include <tambelo/render.h>

#include <string>

namespace tambelo {

// "m:ss.mmm", minutes as many as needed; negative times count as 0.
std::string format_length(double ms);

// How long a track plays: "2:03.456" for a track that ends by itself;
// "0:05.200 + 1:30.500 loop" (intro + loop) for one that loops, with
// " (channel loops differ, longest)" when its looping channels'
// cycles are not all equal.
std::string describe_length(const tambelo_track_info& info);

}  // namespace tambelo
