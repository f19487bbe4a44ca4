#pragma once

#include "cli/music_set_files.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tambelo {

// What the title list says about a set, by the rules the window uses.
class SetTitles {
public:
    explicit SetTitles(std::vector<std::string> lines) : lines_(std::move(lines)) {}
    static SetTitles read(const std::string& titles_path);

    // The status line of a track: its title line as written, number
    // included, or "N NO TITLE".
    std::string title_line(std::int32_t track) const;
    // The title alone: the title line without its number, or "Track N"
    // when the list has no line for the track or only a number.
    std::string title(std::int32_t track) const;
    // The game's title, or empty.
    std::string game_title() const;

private:
    std::optional<std::string> line_of(std::int32_t track) const;

    std::vector<std::string> lines_;
};

// Track numbers from a list such as "1,3,5-7" (blanks allowed). Nothing when
// the text is malformed or names a track outside 1..track_count, with a
// one-line reason in `why`.
std::optional<std::vector<std::int32_t>> parse_track_list(const std::string& text, std::int32_t track_count,
                                                          std::string* why);

}  // namespace tambelo
