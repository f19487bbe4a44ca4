#include "frontend/window_logic/window_texts.h"

#include "frontend/shown_text/direction_controls.h"
#include "titles/plain_titles.h"

#include <optional>

namespace tambelo::frontend {

std::string caption_text(const std::vector<std::string>& titles)
{
    const std::optional<std::string> game = game_title_of(titles);
    return game ? "TAMBELO - " + with_direction_controls_shown(*game) : "TAMBELO";
}

std::string status_text(const std::vector<std::string>& titles, std::int32_t track)
{
    const std::optional<std::string> line = title_line_of(titles, track);
    return " " + (line ? with_direction_controls_shown(*line) : std::to_string(track) + " NO TITLE");
}

std::string output_lost_status_text()
{
    return " No sound: the sound server went away (heard again when it is back)";
}

}  // namespace tambelo::frontend
