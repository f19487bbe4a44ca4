#pragma once

// A title list's titles as plain data, for whatever lays them out itself
// (the window's caption and status line, the command-line tool, a renderer's
// track information): no decoration added, none to strip.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tambelo {

// The title line of `track` as written, its number included: the first line
// whose leading number equals the track. Nothing when no line does, or the
// list is longer than max_searched_title_lines.
std::optional<std::string> title_line_of(const std::vector<std::string>& titles, std::int32_t track);

// The game's title: the rest of the first line that begins with "0 ", as
// written. Nothing when no line does, or the list is longer than
// max_searched_title_lines.
std::optional<std::string> game_title_of(const std::vector<std::string>& titles);

// A text without the blanks and tabs around it.
std::string without_surrounding_blanks(const std::string& text);

// The title alone: a title line without its number (its first word: "03
// Battle", "1 2nd movement") and the blanks around the rest. Empty when the
// line holds nothing but its number.
std::string title_without_number(const std::string& line);

// The title of `track` alone: its title line without the number, or "Track
// <track>" when the list gives it none (no line, or a line that holds nothing
// but its number).
std::string track_title_of(const std::vector<std::string>& titles, std::int32_t track);

}  // namespace tambelo
