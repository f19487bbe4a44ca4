#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tambelo::cli {

// The lines of the title list beside the score archive `set_path` (the
// same name with ".txt" in place of its last four characters, as the window
// program finds it), decoded to UTF-8. No lines when there is no list.
std::vector<std::string> load_track_titles(const std::string& set_path);

// The title line shown for `track` ("N NO TITLE" when the list has none),
// safe to print on a terminal: control characters become blanks.
std::string track_title_line(const std::vector<std::string>& titles, std::int32_t track);

// The heading of a listing: the program's name and the game's title, as the
// window's caption shows them, equally safe.
std::string game_title(const std::vector<std::string>& titles);

}  // namespace tambelo::cli
