#include "frontend/window_logic/window_texts.h"

#include "titles/plain_titles.h"

#include <optional>

namespace tambelo::frontend {

std::string caption_text(const std::vector<std::string>& titles)
{
    const std::optional<std::string> game = game_title_of(titles);
    return game ? "TAMBELO - " + *game : "TAMBELO";
}

std::string status_text(const std::vector<std::string>& titles, std::int32_t track)
{
    return " " + title_line_of(titles, track).value_or(std::to_string(track) + " NO TITLE");
}

}  // namespace tambelo::frontend
