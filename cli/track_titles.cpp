#include "cli/track_titles.h"

#include "cli/music_set_files.h"
#include "frontend/titles/title_list.h"

namespace tambelo::cli {
namespace {

// A title list is a file from anywhere: its bytes must not move the cursor
// or send escape sequences to the terminal.
std::string printable(std::string text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte == 0x7F) {
            text[i] = ' ';
        } else if (byte == 0xC2 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            // U+0080..U+009F, the C1 controls (CSI among them), in UTF-8.
            text.replace(i, 2, " ");
        }
    }
    return text;
}

}  // namespace

std::vector<std::string> load_track_titles(const std::string& set_path)
{
    return read_title_list(music_set_files(set_path).titles);
}

std::string track_title_line(const std::vector<std::string>& titles, std::int32_t track)
{
    std::string line = status_text(titles, track);
    if (!line.empty() && line.front() == ' ')
        line.erase(0, 1);
    return printable(std::move(line));
}

std::string game_title(const std::vector<std::string>& titles)
{
    return printable(caption_text(titles));
}

}  // namespace tambelo::cli
