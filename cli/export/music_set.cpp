#include "cli/export/music_set.h"

#include "cli/utf8_path.h"
#include "titles/plain_titles.h"
#include "titles/title_list.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace tambelo {
namespace {

std::optional<std::int32_t> parse_number(const std::string& text)
{
    const std::string digits = without_surrounding_blanks(text);
    if (digits.empty() || digits.size() > 9 ||
        !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); }))
        return std::nullopt;
    return std::stoi(digits);
}

}  // namespace

SetTitles SetTitles::read(const std::string& titles_path)
{
    return SetTitles(read_title_list(path_from_utf8(titles_path)));
}

std::optional<std::string> SetTitles::line_of(std::int32_t track) const
{
    return title_line_of(lines_, track);
}

std::string SetTitles::title_line(std::int32_t track) const
{
    return line_of(track).value_or(std::to_string(track) + " NO TITLE");
}

std::string SetTitles::title(std::int32_t track) const
{
    return track_title_of(lines_, track);
}

std::string SetTitles::game_title() const
{
    return without_surrounding_blanks(game_title_of(lines_).value_or(std::string()));
}

std::optional<std::vector<std::int32_t>> parse_track_list(const std::string& text, std::int32_t track_count,
                                                          std::string* why)
{
    auto fail = [why](std::string reason) -> std::optional<std::vector<std::int32_t>> {
        if (why)
            *why = std::move(reason);
        return std::nullopt;
    };
    std::vector<std::int32_t> tracks;
    std::size_t from = 0;
    while (from <= text.size()) {
        const std::size_t comma = std::min(text.find(',', from), text.size());
        const std::string item = text.substr(from, comma - from);
        from = comma + 1;
        const auto dash = item.find('-');
        const auto first = parse_number(item.substr(0, dash));
        const auto last = dash == std::string::npos ? first : parse_number(item.substr(dash + 1));
        if (!first || !last || *last < *first)
            return fail("not a track list: \"" + text + "\" (use numbers and ranges such as 1,3,5-7)");
        if (*first < 1 || *last > track_count)
            return fail("no track " + std::to_string(*first < 1 ? *first : *last) + " in this set (it has " +
                        std::to_string(track_count) + " tracks)");
        for (std::int32_t track = *first; track <= *last; ++track)
            if (std::find(tracks.begin(), tracks.end(), track) == tracks.end())
                tracks.push_back(track);
    }
    return tracks;
}

}  // namespace tambelo
