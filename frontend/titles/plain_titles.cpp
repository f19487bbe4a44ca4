#include "frontend/titles/plain_titles.h"

#include "frontend/titles/leading_number.h"
#include "frontend/titles/title_list.h"

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

}  // namespace tambelo
