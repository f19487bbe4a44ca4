#include "cli/export/playlist.h"

#include <algorithm>
#include <cmath>

namespace tambelo {
namespace {

std::string one_line(std::string text)
{
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    return text;
}

}  // namespace

std::string extended_m3u(const std::vector<PlaylistEntry>& entries)
{
    std::string text = "#EXTM3U\n";
    for (const auto& entry : entries) {
        const long long seconds = std::llround(std::max(entry.length_ms, 0.0) / 1000.0);
        text += "#EXTINF:" + std::to_string(seconds) + "," + one_line(entry.title) + "\n";
        text += one_line(entry.location) + "\n";
    }
    return text;
}

}  // namespace tambelo
