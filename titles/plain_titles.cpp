#include "titles/plain_titles.h"

#include "titles/leading_number.h"
#include "titles/title_list.h"

namespace tambelo {

std::optional<std::string> title_line_of(const std::vector<std::string>& titles, std::int32_t track)
{
    if (titles.size() > max_searched_title_lines)
        return std::nullopt;
    const double wanted = track;
    for (const std::string& line : titles)
        if (leading_number(line) == wanted)
            return line;
    return std::nullopt;
}

std::optional<std::string> game_title_of(const std::vector<std::string>& titles)
{
    if (titles.size() > max_searched_title_lines)
        return std::nullopt;
    for (const std::string& line : titles)
        if (line.size() >= 2 && line[0] == '0' && line[1] == ' ')
            return line.substr(2);
    return std::nullopt;
}

std::string without_surrounding_blanks(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string title_without_number(const std::string& line)
{
    const std::string text = without_surrounding_blanks(line);
    const auto blank = text.find_first_of(" \t");
    return blank == std::string::npos ? std::string() : without_surrounding_blanks(text.substr(blank));
}

std::string track_title_of(const std::vector<std::string>& titles, std::int32_t track)
{
    const std::string title = title_without_number(title_line_of(titles, track).value_or(std::string()));
    return title.empty() ? "Track " + std::to_string(track) : title;
}

}  // namespace tambelo
