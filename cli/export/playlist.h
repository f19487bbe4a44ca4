#pragma once

#include <string>
#include <vector>

namespace tambelo {

struct PlaylistEntry {
    double length_ms = 0.0;
    std::string title;     // UTF-8
    std::string location;  // a file name relative to the playlist, a path or a URI
};

// An extended M3U playlist in UTF-8: "#EXTM3U", then for each entry
// "#EXTINF:<seconds, rounded>,<title>" and its location, lines ending in
// "\n". Line breaks and other control characters in a title or location
// become blanks, so that an entry stays two lines.
std::string extended_m3u(const std::vector<PlaylistEntry>& entries);

}  // namespace tambelo
