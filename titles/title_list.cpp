#include "titles/title_list.h"

#include "titles/hidden_file.h"
#include "titles/text_decoding.h"
#include "titles/title_file.h"

#include <system_error>

namespace tambelo {

namespace {

constexpr std::string_view utf8_byte_order_mark = "\xEF\xBB\xBF";

}  // namespace

bool ordinary_file_exists(const std::filesystem::path& path)
{
    std::error_code error;
    return std::filesystem::is_regular_file(path, error) && !is_hidden_file(path);
}

std::vector<std::string> split_title_lines(std::string_view bytes)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t end = bytes.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(bytes.substr(start));
            break;
        }
        lines.emplace_back(bytes.substr(start, end - start));
        start = end + 1;
        if (bytes[end] == '\r' && start < bytes.size() && bytes[start] == '\n')
            ++start;
    }
    return lines;
}

std::string decode_title_line(std::string_view bytes)
{
    return is_valid_utf8(bytes) ? std::string(bytes) : decode_cp932(bytes);
}

namespace {

constexpr std::string_view replacement_character = "\xEF\xBF\xBD";

// A line that can only be CP932: not UTF-8, yet every byte a CP932 character.
bool only_cp932(std::string_view bytes)
{
    return !is_valid_utf8(bytes) && decode_cp932(bytes).find(replacement_character) == std::string::npos;
}

// A line that reads as UTF-8 beyond two-byte characters (kana, kanji and the
// like). Half-width katakana in CP932 can form valid UTF-8, but only two-byte
// sequences (Latin, Greek, Cyrillic), so such a line is no sign of UTF-8.
bool plainly_utf8(std::string_view bytes)
{
    if (!is_valid_utf8(bytes))
        return false;
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0xE0)
            return true;
    return false;
}

// A list is CP932 when its CP932-only lines outnumber its plainly UTF-8
// ones; then a line of half-width katakana that happens to be valid UTF-8 is
// still read as CP932. One stray byte in a UTF-8 list does not tip it.
bool cp932_list(const std::vector<std::string>& lines)
{
    std::size_t cp932 = 0, utf8 = 0;
    for (const std::string& line : lines) {
        if (only_cp932(line))
            ++cp932;
        else if (plainly_utf8(line))
            ++utf8;
    }
    return cp932 > utf8;
}

// In a CP932 list, every line that is valid CP932 is read as CP932; any
// other line as on its own.
std::string decode_line_of_cp932_list(std::string_view bytes)
{
    std::string text = decode_cp932(bytes);
    return text.find(replacement_character) == std::string::npos ? text : decode_title_line(bytes);
}

}  // namespace

std::vector<std::string> decode_title_list(std::string_view bytes)
{
    if (bytes.substr(0, utf8_byte_order_mark.size()) == utf8_byte_order_mark)
        bytes.remove_prefix(utf8_byte_order_mark.size());
    // CR and LF never occur inside a CP932 character, so the raw bytes split
    // into the same lines as the decoded text would.
    std::vector<std::string> lines = split_title_lines(bytes);
    const bool whole_list_cp932 = cp932_list(lines);
    for (std::string& line : lines)
        line = whole_list_cp932 ? decode_line_of_cp932_list(line) : decode_title_line(line);
    return lines;
}

std::vector<std::string> read_title_list(const std::filesystem::path& path)
{
    TitleFileBytes file = read_title_file(path);
    if (!file.opened)
        return {};
    std::string& bytes = file.bytes;
    if (file.read_failed) {
        // Keep only the lines that ended before the failed read.
        const std::size_t last_end = bytes.find_last_of("\r\n");
        bytes.resize(last_end == std::string::npos ? 0 : last_end + 1);
    }
    return decode_title_list(bytes);
}

}  // namespace tambelo
