// Reads arbitrary bytes as a title list. Whatever the bytes, the lines are
// valid UTF-8 without a CR, there are as many as the raw bytes have line
// ends, the titles taken from them stay valid UTF-8, and the number a
// line begins with is the one the C library reads from the same characters.
#include "titles/leading_number.h"
#include "titles/plain_titles.h"
#include "titles/text_decoding.h"
#include "titles/title_list.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// The decimal number at the start of `line` by the plain rule: blanks,
// tabs and line feeds ignored, a sign, digits with at most one point, an
// exponent marked E or D with digits; converted by strtod. Nothing for a
// line that begins with "&H" or "&O", whose numbers strtod does not read.
bool reference_number(std::string_view line, double& value)
{
    std::string text;
    for (const char c : line)
        if (c != ' ' && c != '\t' && c != '\n')
            text += c;
    if (text.size() >= 2 && text[0] == '&' && (text[1] == 'H' || text[1] == 'h' || text[1] == 'O' || text[1] == 'o'))
        return false;
    std::size_t at = 0;
    if (at < text.size() && (text[at] == '+' || text[at] == '-'))
        ++at;
    bool digits = false;
    bool point = false;
    for (; at < text.size(); ++at) {
        if (is_digit(text[at]))
            digits = true;
        else if (text[at] == '.' && !point)
            point = true;
        else
            break;
    }
    if (!digits) {
        value = 0.0;
        return true;
    }
    std::string number = text.substr(0, at);
    if (at < text.size() && (text[at] == 'E' || text[at] == 'e' || text[at] == 'D' || text[at] == 'd')) {
        std::size_t end = at + 1;
        if (end < text.size() && (text[end] == '+' || text[end] == '-'))
            ++end;
        const std::size_t first_digit = end;
        while (end < text.size() && is_digit(text[end]))
            ++end;
        if (end > first_digit)
            number += "e" + text.substr(at + 1, end - at - 1);
    }
    value = std::strtod(number.c_str(), nullptr);
    return true;
}

void check_line(const std::string& line)
{
    if (!tambelo::is_valid_utf8(line) || line.find('\r') != std::string::npos)
        std::abort();
    double expected = 0.0;
    if (!reference_number(line, expected))
        return;
    const double read = tambelo::leading_number(line);
    // Numbers too small for a normal double may read as 0.
    const bool tiny = std::fpclassify(expected) == FP_SUBNORMAL;
    if (read != expected && !(tiny && read == 0.0))
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto lines = tambelo::decode_title_list(bytes);
    // Decoding never makes or removes a CR, so the raw lines count the same
    // (without the byte order mark that a UTF-8 list may begin with).
    std::string_view raw = bytes;
    if (tambelo::is_valid_utf8(raw) && raw.substr(0, 3) == "\xEF\xBB\xBF")
        raw.remove_prefix(3);
    if (lines.size() != tambelo::split_title_lines(raw).size())
        std::abort();
    for (const std::string& line : lines)
        check_line(line);
    if (!tambelo::is_valid_utf8(tambelo::game_title_of(lines).value_or("")))
        std::abort();
    for (const std::int32_t track : {1, 2, 255}) {
        const std::string line = tambelo::title_line_of(lines, track).value_or("");
        if (!tambelo::is_valid_utf8(line) || !tambelo::is_valid_utf8(tambelo::title_without_number(line)))
            std::abort();
    }
    return 0;
}
