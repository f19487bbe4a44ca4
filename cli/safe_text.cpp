#include "cli/safe_text.h"

#include "frontend/shown_text/direction_controls.h"

#include <algorithm>
#include <cstdint>

namespace tambelo {
namespace {

constexpr std::size_t shown_path_bytes = 100;

}  // namespace

char32_t utf8_code_at(std::string_view text, std::size_t at, std::size_t length)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    if (length == 1)
        return lead;
    char32_t code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i)
        code = code << 6 | (static_cast<unsigned char>(text[at + i]) & 0x3F);
    return code;
}

namespace {

void append_hex(std::string& out, unsigned char byte)
{
    static constexpr char digits[] = "0123456789abcdef";
    out += "\\x";
    out += digits[byte >> 4];
    out += digits[byte & 15];
}

// The start of the character that holds byte `at` (or `at` itself when it
// holds none), so that a cut never splits a character or an escape.
std::size_t character_start(std::string_view text, std::size_t at)
{
    std::size_t start = at;
    while (start > 0 && at - start < 3 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80)
        --start;
    return utf8_sequence_length(text, start) > at - start ? start : at;
}

}  // namespace

std::size_t utf8_sequence_length(std::string_view text, std::size_t at)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    std::uint32_t least = 0;
    if (lead < 0x80)
        return 1;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        least = 0x10000;
    } else {
        return 0;
    }
    if (at + length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i)
        if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80)
            return 0;
    const char32_t code = utf8_code_at(text, at, length);
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

bool is_control_character(char32_t code)
{
    return code < 0x20 || (code >= 0x7F && code <= 0x9F);
}

std::string printable_text(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = utf8_sequence_length(text, at);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++at;
            continue;
        }
        if (is_control_character(utf8_code_at(text, at, length)))
            out += ' ';
        else
            out.append(text, at, length);
        at += length;
    }
    return with_direction_controls_shown(out);
}

namespace {

// Controls and bytes that are not UTF-8 as \xNN; a backslash doubled only
// where the text is to be read back as written bytes, never in a path, whose
// backslashes are the separators of Windows.
std::string escaped(std::string_view text, bool double_backslash)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = utf8_sequence_length(text, at);
        if (length == 0 || is_control_character(utf8_code_at(text, at, length))) {
            for (std::size_t i = 0; i < std::max<std::size_t>(length, 1); ++i)
                append_hex(out, static_cast<unsigned char>(text[at + i]));
            at += std::max<std::size_t>(length, 1);
            continue;
        }
        if (double_backslash && text[at] == '\\')
            out += '\\';
        out.append(text, at, length);
        at += length;
    }
    return out;
}

}  // namespace

std::string escaped_text(std::string_view text) { return escaped(text, true); }

std::string shown_path(std::string_view path)
{
    const std::string shown = escaped(path, false);
    if (shown.size() <= shown_path_bytes)
        return shown;
    const std::string_view view = shown;
    // Keep the start (where it is) and the end (its name), cut between
    // characters; an escape is plain ASCII, so cutting inside one only
    // shortens it.
    const std::size_t head = character_start(view, shown_path_bytes * 2 / 5);
    const std::size_t tail = character_start(view, view.size() - shown_path_bytes * 2 / 5);
    return std::string(view.substr(0, head)) + "..." + std::string(view.substr(tail));
}

}  // namespace tambelo
