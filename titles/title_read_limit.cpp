#include "titles/title_read_limit.h"

#include "titles/title_list.h"

namespace tambelo {

std::size_t TitleReadLimit::keep(std::string_view chunk, std::size_t kept_so_far)
{
    for (std::size_t i = 0; i < chunk.size(); ++i) {
        const char byte = chunk[i];
        // CR LF is one line end; a lone CR or a lone LF is one each.
        if (byte == '\r' || (byte == '\n' && !after_cr_))
            ++line_ends_;
        after_cr_ = byte == '\r';
        // With this many line ends whole, the list has more lines than the
        // searches read: it will not be searched, whatever follows.
        if (line_ends_ > max_searched_title_lines + 1) {
            reached_ = true;
            return i + 1;
        }
        if (kept_so_far + i + 1 >= max_title_list_bytes) {
            reached_ = true;
            return i + 1;
        }
    }
    return chunk.size();
}

std::size_t whole_lines_length(std::string_view bytes)
{
    const std::size_t last_end = bytes.find_last_of("\r\n");
    return last_end == std::string_view::npos ? 0 : last_end + 1;
}

}  // namespace tambelo
