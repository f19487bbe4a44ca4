#include "cli/track_titles.h"

#include "cli/music_set_files.h"
#include "cli/safe_text.h"
#include "cli/utf8_path.h"
#include "titles/plain_titles.h"
#include "titles/title_list.h"

#include <optional>

namespace tambelo::cli {

std::vector<std::string> load_track_titles(const std::string& set_path)
{
    return read_title_list(path_from_utf8(music_set_files(set_path).titles));
}

std::string track_title_line(const std::vector<std::string>& titles, std::int32_t track)
{
    return printable_text(title_line_of(titles, track).value_or(std::to_string(track) + " NO TITLE"));
}

std::string game_title(const std::vector<std::string>& titles)
{
    const std::optional<std::string> game = game_title_of(titles);
    return printable_text(game ? "TAMBELO - " + *game : "TAMBELO");
}

}  // namespace tambelo::cli
