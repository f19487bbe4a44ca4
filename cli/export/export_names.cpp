#include "cli/export/export_names.h"

#include "cli/safe_text.h"
#include "frontend/shown_text/direction_controls.h"

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
    return std::string_view("/\\:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos;
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
        const std::size_t length = utf8_sequence_length(text, at);
        if (name.size() + std::max<std::size_t>(length, 1) > max_name_bytes)
            break;
        if (length == 0) {
            name += replacement;
            ++at;
            continue;
        }
        const char32_t code = utf8_code_at(text, at, length);
        // A direction control would show the name reordered in a file manager.
        if (is_control_character(code) || is_direction_control(code) ||
            (length == 1 && refused(static_cast<unsigned char>(text[at]))))
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

std::string stem_file_path(const std::string& path, int channel)
{
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t dot = path.rfind('.');
    const std::size_t at = dot != std::string::npos && (slash == std::string::npos || dot > slash) ? dot : path.size();
    return path.substr(0, at) + " - ch" + std::to_string(channel) + path.substr(at);
}

}  // namespace tambelo
