#include "cli/export/export_names.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace tambelo {
namespace {

constexpr std::size_t max_name_bytes = 200;
constexpr char replacement = '_';

bool refused(unsigned char c)
{
    return c < 0x20 || c == 0x7F || std::string_view("/\\:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos;
}

// Length of the well-formed UTF-8 sequence at `at`, or 0.
std::size_t utf8_length(const std::string& text, std::size_t at)
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
    std::uint32_t code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80)
            return 0;
        code = code << 6 | (next & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

bool reserved_device_name(const std::string& name)
{
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ')
        stem.pop_back();
    for (auto& c : stem)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    static const std::array<std::string_view, 4> plain = {"CON", "PRN", "AUX", "NUL"};
    if (std::find(plain.begin(), plain.end(), stem) != plain.end())
        return true;
    return stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) && stem[3] >= '1' &&
           stem[3] <= '9';
}

}  // namespace

std::string safe_file_name(const std::string& text, const std::string& fallback)
{
    std::string name;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = utf8_length(text, at);
        if (name.size() + std::max<std::size_t>(length, 1) > max_name_bytes)
            break;
        if (length == 0) {
            name += replacement;
            ++at;
            continue;
        }
        if (length == 1 && refused(static_cast<unsigned char>(text[at])))
            name += replacement;
        else
            name.append(text, at, length);
        at += length;
    }
    name.erase(0, std::min(name.find_first_not_of(' '), name.size()));
    while (!name.empty() && (name.back() == ' ' || name.back() == '.'))
        name.pop_back();
    if (name.empty())
        return fallback;
    if (reserved_device_name(name))
        name += replacement;
    return name;
}

std::string track_file_name(std::int32_t track, int digits, const std::string& title,
                            const std::string& extension)
{
    std::string number = std::to_string(track);
    if (static_cast<int>(number.size()) < digits)
        number.insert(0, static_cast<std::size_t>(digits) - number.size(), '0');
    return number + ' ' + safe_file_name(title, "Track " + std::to_string(track)) + '.' + extension;
}

int track_number_digits(std::int32_t last_track)
{
    return std::max(2, static_cast<int>(std::to_string(std::max(last_track, 0)).size()));
}

}  // namespace tambelo
