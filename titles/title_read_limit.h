#pragma once

// How much of a title list is worth reading. The title searches give up on
// a list of more than max_searched_title_lines lines, so once a line after
// those has begun nothing further can change a caption or a status line;
// and no list a person wrote comes near eight megabytes. A file of any size
// (a multi-gigabyte one, or a sparse one of nothing but zeros) is therefore
// read in bounded time and memory.

#include <cstddef>
#include <string_view>

namespace tambelo {

inline constexpr std::size_t max_title_list_bytes = 8 * 1024 * 1024;

// Follows a title list's bytes as they are read, chunk by chunk.
class TitleReadLimit {
public:
    // Of `chunk`, the bytes just read after `kept_so_far` kept ones, how
    // many to keep. Fewer than all once nothing after them can matter; then
    // `reached` is true and reading should stop.
    std::size_t keep(std::string_view chunk, std::size_t kept_so_far);
    bool reached() const { return reached_; }

private:
    std::size_t line_ends_ = 0;
    bool after_cr_ = false;
    bool reached_ = false;
};

// When reading stopped at the byte bound part-way through a line, that line
// is not whole: the bytes up to the last line end before it, else none.
std::size_t whole_lines_length(std::string_view bytes);

}  // namespace tambelo
