#include "cli/help_text.h"

#include <sstream>

namespace tambelo::cli {

namespace {

// Where the description of a help line starts, for its continuation lines.
std::size_t continuation_indent(const std::string& line)
{
    const std::size_t indent = line.find_first_not_of(' ');
    if (indent == std::string::npos)
        return 0;
    const std::size_t gap = line.find("  ", indent);
    if (gap != std::string::npos) {
        const std::size_t description = line.find_first_not_of(' ', gap);
        // Only a description column that leaves room for words.
        if (description != std::string::npos && description <= static_cast<std::size_t>(help_columns) / 2)
            return description;
    }
    return indent;
}

void wrap_line(const std::string& line, std::size_t columns, std::string& out)
{
    if (line.size() <= columns) {
        out += line;
        return;
    }
    const std::string indent(continuation_indent(line), ' ');
    std::string rest = line;
    bool first = true;
    while (rest.size() > columns) {
        // The last blank that keeps the piece within the columns, past the indent.
        std::size_t cut = rest.rfind(' ', columns);
        const std::size_t text_start = first ? rest.find_first_not_of(' ') : indent.size();
        if (cut == std::string::npos || cut <= text_start)
            break;  // one word longer than the line: left whole
        std::size_t end = cut;
        while (end > 0 && rest[end - 1] == ' ')
            --end;
        out += rest.substr(0, end);
        out += '\n';
        const std::size_t next = rest.find_first_not_of(' ', cut);
        rest = indent + (next == std::string::npos ? std::string() : rest.substr(next));
        first = false;
    }
    out += rest;
}

}  // namespace

std::string wrap_help_text(const std::string& text, int columns)
{
    std::string out;
    std::istringstream lines(text);
    std::string line;
    bool first = true;
    while (std::getline(lines, line)) {
        if (!first)
            out += '\n';
        wrap_line(line, static_cast<std::size_t>(columns), out);
        first = false;
    }
    if (!text.empty() && text.back() == '\n')
        out += '\n';
    return out;
}

}  // namespace tambelo::cli
