#pragma once

// The window's two texts, laid out from the title list's plain titles: the
// caption names the program and the game, the status line shows the
// track's title line. Both show the titles' direction controls spelt out
// (see direction_controls.h).

#include <cstdint>
#include <string>
#include <vector>

namespace tambelo::frontend {

// The window caption: "TAMBELO - " and the game's title as written, or
// "TAMBELO" when the list names no game (or is too long to be searched).
std::string caption_text(const std::vector<std::string>& titles);

// The status line for `track`: a blank, then the track's title line as
// written, or " <track> NO TITLE" when the list has none for it (or is too
// long to be searched).
std::string status_text(const std::vector<std::string>& titles, std::int32_t track);

// The status line while the audio output the music plays into is gone (its
// sound server stopped): the library plays on and is heard again as soon as
// the server is back.
std::string output_lost_status_text();

}  // namespace tambelo::frontend
