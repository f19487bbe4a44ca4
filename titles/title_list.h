#pragma once

// The title list of a music set: a small text file beside the score archive
// (same base name, extension ".txt") naming the game and its tracks. The
// renderer, the command-line tool and both windows read it through this
// module (its titles as plain data: plain_titles.h); nothing here depends
// on a window toolkit.
//
// File format: lines end with CR LF, a lone CR or a lone LF; the last line
// needs no line end. Every line counts, empty ones included. A line
// "0 <title>" names the game; a line whose leading number (see
// leading_number.h) equals n is the title line of track n. The first
// matching line wins. Each line is read as UTF-8 when it is valid UTF-8,
// otherwise as CP932 (Shift-JIS), the code page the lists were written in,
// so one stray byte garbles no more than its own line; but in a list whose
// CP932-only lines outnumber its lines of UTF-8 kana and kanji, every line
// that is valid CP932 is read as CP932 (a line of half-width katakana can
// be valid UTF-8 by chance).

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tambelo {

// Both searches count the lines in a 16-bit signed number: a list of more
// lines than this is not searched at all.
inline constexpr std::size_t max_searched_title_lines = 32767;

// True when an ordinary file (or a link to one) exists at `path` and is not
// hidden (hidden_file.h); false for folders, devices, hidden files, missing
// paths and paths that cannot be examined.
bool ordinary_file_exists(const std::filesystem::path& path);

// Splits the raw bytes of a title list into its lines, without decoding.
std::vector<std::string> split_title_lines(std::string_view bytes);

// One line's bytes as UTF-8: kept when valid UTF-8, else decoded as CP932.
std::string decode_title_line(std::string_view bytes);

// Splits the bytes of a whole title list into lines and decodes each to
// UTF-8 by the rules above. A UTF-8 byte order mark at the start is dropped.
std::vector<std::string> decode_title_list(std::string_view bytes);

// Reads the title list at `path` as UTF-8 lines. A missing file, or anything
// that is not an ordinary file, gives no lines; a file that cannot be opened
// gives no lines; a read that fails part-way gives the complete lines read
// before the failure. Never throws for a bad file.
std::vector<std::string> read_title_list(const std::filesystem::path& path);

}  // namespace tambelo
