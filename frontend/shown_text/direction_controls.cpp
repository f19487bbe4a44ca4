#include "frontend/shown_text/direction_controls.h"

namespace tambelo {

bool is_direction_control(char32_t code)
{
    return (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
}

std::string with_direction_controls_shown(std::string_view text)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        // All nine are three bytes long, E2 80 xx or E2 81 xx; E2 only ever
        // begins a character, so a match is one.
        if (at + 2 < text.size() && static_cast<unsigned char>(text[at]) == 0xE2) {
            const auto middle = static_cast<unsigned char>(text[at + 1]);
            const auto last = static_cast<unsigned char>(text[at + 2]);
            const char32_t code = 0x2000 | static_cast<char32_t>((middle & 0x3F) << 6) | (last & 0x3F);
            if ((middle & 0xFE) == 0x80 && (last & 0xC0) == 0x80 && is_direction_control(code)) {
                out += "<U+";
                for (int shift = 12; shift >= 0; shift -= 4)
                    out += digits[(code >> shift) & 0xF];
                out += '>';
                at += 2;
                continue;
            }
        }
        out += text[at];
    }
    return out;
}

}  // namespace tambelo
